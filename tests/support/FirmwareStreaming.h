#pragma once

#include "firmware/FirmwareSysexSender.h"
#include "sim/model/SimulatedClock.h"
#include "tuning/TuneKestruneEngine.h"

#include <functional>

namespace firmwaretest
{
// Remembers the sender of the engine's transfer and what it reported last.
struct SenderSpy : FirmwareSysexSender::Listener
{
    void firmwareProgressChanged (FirmwareSysexSender* s, double) override { sender = s; }
    void firmwareStatusChanged (FirmwareSysexSender* s, const juce::String& text) override { sender = s, status = text; }

    FirmwareSysexSender* sender = nullptr;
    juce::String status;
};

// Runs the engine's transfer as the sender's timer would: the machine's time
// to get ready, then a slice every 10 ms, until the last slice is out or the
// transfer ends. afterTick (i) runs after each tick.
void streamImage (SimulatedClock& clock, TuneKestruneEngine& engine, FirmwareSysexSender& sender,
                 const std::function<void (int)>& afterTick = {});
} // namespace firmwaretest

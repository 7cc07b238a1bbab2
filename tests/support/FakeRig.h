#pragma once

#include "MessageText.h"
#include "RecordingStatusListener.h"
#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "sim/model/SimulatedClock.h"
#include "support/FakeMidiPortSystem.h"
#include "tuning/TuneKestruneEngine.h"

namespace enginetest
{
inline const juce::String portName { "Kestrune Jack 1" };

// An engine on a fake MIDI port pair and no audio device: the estimate stays 0 Hz.
struct FakeRig
{
    FakeRig();
    ~FakeRig();

    void replyVersion (juce::uint8 d0, juce::uint8 d1, juce::uint8 d2, juce::uint8 d3)
    {
        ports->injectMessage (portName, DeviceMessages::identityReply (d0, d1, d2, d3));
    }
    void reply (int note, juce::uint16 value) { ports->injectMessage (portName, DeviceMessages::calibrationValueReply (note, value)); }
    void replyAll (int firstNote, int lastNote, juce::uint16 (*valueFor) (int note))
    {
        for (int note = firstNote; note <= lastNote; ++note)
            reply (note, valueFor (note));
    }
    void tick (int n = 1)
    {
        for (int i = 0; i < n; ++i)
            engine->timerCallback();
    }
    // Known firmware 1.05 and a successful start: the knob step.
    void startListening();
    // A start, with the ticks that send its paced requests, the machine's
    // answers (machineValue, from the message thread) and note 24 sounding.
    bool start();
    // What the machine answers for each calibrated note at a start.
    std::function<juce::uint16 (int note)> machineValue = [] (int note) { return (juce::uint16) (1000 + note); };
    // Ticks, 15 ms apart, until no write is in progress (nothing answers here
    // unless the test does: a write gives up after its rounds).
    void finishWrites();
    // Ticks until the last message sent is `last`; false when it never is.
    bool tickUntilSent (const std::string& last, int maxTicks = 30);
    std::vector<std::string> sent() const { return describeAll (ports->allSent()); }

    SimulatedClock clock;
    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr midi;
    juce::AudioDeviceManager deviceManager;
    RecordingStatusListener listener;
    TuneKestruneEngine::Ptr engine;
};
} // namespace enginetest

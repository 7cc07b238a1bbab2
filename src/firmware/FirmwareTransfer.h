#pragma once

#include "core/MillisecondClock.h"
#include "firmware/FirmwareSysexData.h"
#include "firmware/FirmwareSysexSender.h"
#include "midi/MidiManager.h"

#include <functional>
#include <memory>

// One firmware transfer at a time: streams the embedded image to the one open
// output and disposes of the sender once it reports completion, never from
// inside that report.
//
// Message thread only.
class FirmwareTransfer : private FirmwareSysexSender::Listener
{
public:
    static constexpr int imageSize = 113134;
    static constexpr juce::uint32 packetSize = 64;
    static constexpr int packetIntervalMs = 10;
    static constexpr const char* imageName = "Audio Application Firmware";

    // onCompleted: the whole image went out (the sender is already retired).
    FirmwareTransfer (MidiManager::Ptr midiManager, MillisecondClock& clock, std::function<void()> onCompleted);
    ~FirmwareTransfer() override;

    // Streams to outputName; `listener` hears the sender first.
    void start (FirmwareSysexSender::Listener* listener, const juce::String& outputName);
    void cancel();
    bool isActive() const { return sender != nullptr; }

private:
    void firmwareProgressChanged (FirmwareSysexSender*, double) override {}
    void firmwareStatusChanged (FirmwareSysexSender* sender, const juce::String& status) override;

    MidiManager::Ptr midiManager;
    MillisecondClock& clock;
    std::function<void()> onCompleted;
    std::unique_ptr<FirmwareSysexData> data;
    std::unique_ptr<FirmwareSysexSender> sender;
    // A sender that reported completion; destroyed later, never inside its own callback.
    std::unique_ptr<FirmwareSysexSender> retiredSender;

    JUCE_DECLARE_NON_COPYABLE (FirmwareTransfer)
};

#pragma once

#include "core/MillisecondClock.h"
#include "firmware/FirmwareSysexData.h"
#include "firmware/FirmwareSysexSender.h"
#include "firmware/FirmwareUpdateEvidence.h"
#include "midi/MidiManager.h"

#include <functional>
#include <memory>
#include <optional>

// One firmware update at a time: streams the embedded image to the one open
// output, then waits, for as long as it takes, until the machine shows
// whether it runs the new image (FirmwareUpdateEvidence). Disposes of the
// sender once it reports completion, never from inside that report.
//
// Message thread only.
class FirmwareTransfer : private FirmwareSysexSender::Listener
{
public:
    using Verdict = FirmwareUpdateEvidence::Verdict;

    static constexpr int imageSize = 113134;
    static constexpr juce::uint32 packetSize = 64;
    static constexpr int packetIntervalMs = 10;
    static constexpr const char* imageName = "Audio Application Firmware";

    // onStreamed: the whole image went out (the sender is already retired).
    // onVerdict: what the machine showed since changed the verdict.
    FirmwareTransfer (MidiManager::Ptr midiManager, MillisecondClock& clock, std::function<void()> onStreamed,
                      std::function<void (Verdict)> onVerdict);
    ~FirmwareTransfer() override;

    // Streams to outputName; `listener` hears the sender first. versionBefore:
    // the last version the machine answered, none when it never has.
    void start (FirmwareSysexSender::Listener* listener, const juce::String& outputName,
                std::optional<double> versionBefore);
    void cancel();

    // From the start until the verdict is in (complete or not accepted) or
    // the transfer is cancelled.
    bool isActive() const { return sender != nullptr || waiting; }
    bool isStreaming() const { return sender != nullptr; }
    Verdict getVerdict() const { return evidence.getVerdict(); }
    // How long the wait after the last slice has lasted, or lasted until the
    // verdict; 0 before it.
    juce::uint32 getWaitedMs() const;

    // What the machine shows.
    void versionReported (double version);
    void portWentAway();
    // Notices the output opened again after it went away.
    void tick();

private:
    void firmwareProgressChanged (FirmwareSysexSender*, double) override {}
    void firmwareStatusChanged (FirmwareSysexSender* sender, const juce::String& status) override;
    void update();

    MidiManager::Ptr midiManager;
    MillisecondClock& clock;
    std::function<void()> onStreamed;
    std::function<void (Verdict)> onVerdict;
    std::unique_ptr<FirmwareSysexData> data;
    std::unique_ptr<FirmwareSysexSender> sender;
    // A sender that reported completion; destroyed later, never inside its own callback.
    std::unique_ptr<FirmwareSysexSender> retiredSender;
    FirmwareUpdateEvidence evidence;
    juce::String output;
    bool waiting = false;
    bool portAway = false;
    Verdict reported = Verdict::streaming;
    juce::uint32 waitStartMs = 0;
    juce::uint32 waitedMs = 0;

    JUCE_DECLARE_NON_COPYABLE (FirmwareTransfer)
};

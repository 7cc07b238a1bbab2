#include "FirmwareTransfer.h"

#include "EmbeddedData.h"
#include "midi/DeviceMessages.h"

FirmwareTransfer::FirmwareTransfer (MidiManager::Ptr manager, MillisecondClock& clockToUse, std::function<void()> streamed,
                                    std::function<void (Verdict)> verdict)
    : midiManager (std::move (manager)), clock (clockToUse), onStreamed (std::move (streamed)), onVerdict (std::move (verdict))
{
}

FirmwareTransfer::~FirmwareTransfer()
{
    // The senders refer to the data, so they go first.
    retiredSender = nullptr;
    sender = nullptr;
    data = nullptr;
}

void FirmwareTransfer::start (FirmwareSysexSender::Listener* listener, const juce::String& outputName,
                              std::optional<double> versionBefore)
{
    retiredSender = nullptr;
    sender = nullptr;
    waiting = false;
    portAway = false;
    reported = Verdict::streaming;
    waitedMs = 0;
    output = outputName;
    evidence.begin (versionBefore);

    const auto request = DeviceMessages::firmwareUpdateRequest();
    const juce::Array<juce::uint8> header (request.getRawData(), request.getRawDataSize());
    const juce::Array<juce::uint8> image (reinterpret_cast<const juce::uint8*> (EmbeddedData::firmwareImageContainer),
                                          juce::jmin (imageSize, EmbeddedData::firmwareImageContainerSize));
    data = std::make_unique<FirmwareSysexData> (header, image, packetSize, packetIntervalMs, outputName, imageName);
    sender = std::make_unique<FirmwareSysexSender> (*data, midiManager, listener, clock);
    sender->addListener (this);
    sender->start();
}

void FirmwareTransfer::cancel()
{
    retiredSender = nullptr;
    waiting = false;
    if (sender != nullptr)
    {
        sender->stop();
        sender = nullptr;
    }
}

juce::uint32 FirmwareTransfer::getWaitedMs() const
{
    return waiting ? clock.getMillisecondCounter() - waitStartMs : waitedMs;
}

void FirmwareTransfer::versionReported (double version)
{
    if (! isActive())
        return;
    evidence.versionReported (version);
    update();
}

void FirmwareTransfer::portWentAway()
{
    if (! isActive())
        return;
    portAway = true;
    evidence.portWentAway();
}

void FirmwareTransfer::tick()
{
    if (! portAway || ! midiManager->isOutputDeviceOpen (output))
        return;
    portAway = false;
    evidence.portCameBack();
}

void FirmwareTransfer::update()
{
    const auto verdict = evidence.getVerdict();
    if (verdict == reported)
        return;
    reported = verdict;
    if (verdict == Verdict::complete || verdict == Verdict::notAccepted)
    {
        waitedMs = getWaitedMs();
        waiting = false;
    }
    if (onVerdict)
        onVerdict (verdict);
}

void FirmwareTransfer::firmwareStatusChanged (FirmwareSysexSender* reporting, const juce::String& status)
{
    if (status != FirmwareSysexSender::statusCompleted || reporting == nullptr || reporting != sender.get())
        return;
    // The sender is still inside this callback: park it, destroy it later.
    retiredSender = std::move (sender);
    waiting = true;
    waitStartMs = clock.getMillisecondCounter();
    evidence.streamEnded();
    if (onStreamed)
        onStreamed();
    update();
}

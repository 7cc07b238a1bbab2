#include "FirmwareTransfer.h"

#include "EmbeddedData.h"
#include "midi/DeviceMessages.h"

FirmwareTransfer::FirmwareTransfer (MidiManager::Ptr manager, MillisecondClock& clockToUse, std::function<void()> completed)
    : midiManager (std::move (manager)), clock (clockToUse), onCompleted (std::move (completed))
{
}

FirmwareTransfer::~FirmwareTransfer()
{
    // The senders refer to the data, so they go first.
    retiredSender = nullptr;
    sender = nullptr;
    data = nullptr;
}

void FirmwareTransfer::start (FirmwareSysexSender::Listener* listener, const juce::String& outputName)
{
    retiredSender = nullptr;
    sender = nullptr;

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
    if (sender != nullptr)
    {
        sender->stop();
        sender = nullptr;
    }
}

void FirmwareTransfer::firmwareStatusChanged (FirmwareSysexSender* reporting, const juce::String& status)
{
    if (status != FirmwareSysexSender::statusCompleted || reporting == nullptr || reporting != sender.get())
        return;
    // The sender is still inside this callback: park it, destroy it later.
    retiredSender = std::move (sender);
    if (onCompleted)
        onCompleted();
}

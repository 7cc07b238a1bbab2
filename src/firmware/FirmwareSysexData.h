#pragma once

#include <juce_core/juce_core.h>

// One firmware transfer's input: the bytes to stream, the message that asks
// the device to get ready for them, and how to slice and pace them.
class FirmwareSysexData
{
public:
    // packetSize must be above 0.
    FirmwareSysexData (const juce::Array<juce::uint8>& header,
                       const juce::Array<juce::uint8>& image,
                       juce::uint32 packetSize,
                       int packetIntervalMs,
                       const juce::String& outputDeviceName,
                       const juce::String& name);

    // The image bytes of slice `index`; empty past the end of the image.
    juce::Array<juce::uint8> getPacket (juce::uint32 index) const;

    juce::uint32 getNumPackets() const { return numPackets; }
    int getPacketIntervalMs() const { return packetIntervalMs; }
    juce::Array<juce::uint8> getHeaderMessage() const { return header; }
    juce::String getOutputDeviceName() const { return outputDeviceName; }
    juce::String getName() const { return name; }

    void setActive (bool shouldBeActive) { active = shouldBeActive; }
    void setComplete (bool isNowComplete) { complete = isNowComplete; }
    bool isActive() const { return active; }
    bool isComplete() const { return complete; }

private:
    juce::Array<juce::uint8> image;
    juce::Array<juce::uint8> header;
    juce::String name;
    juce::String outputDeviceName;
    juce::uint32 packetSize;
    int packetIntervalMs;
    juce::uint32 numPackets;
    bool complete = false;
    bool active = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FirmwareSysexData)
};

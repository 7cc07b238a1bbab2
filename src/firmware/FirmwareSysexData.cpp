#include "FirmwareSysexData.h"

#include <algorithm>

FirmwareSysexData::FirmwareSysexData (const juce::Array<juce::uint8>& headerToUse,
                                      const juce::Array<juce::uint8>& imageToUse,
                                      juce::uint32 packetSizeToUse,
                                      int packetIntervalMsToUse,
                                      const juce::String& outputDeviceNameToUse,
                                      const juce::String& nameToUse)
    : image (imageToUse),
      header (headerToUse),
      name (nameToUse),
      outputDeviceName (outputDeviceNameToUse),
      packetSize (packetSizeToUse),
      packetIntervalMs (packetIntervalMsToUse)
{
    // A zero size would divide by zero below and never get through the image.
    jassert (packetSize > 0);
    packetSize = std::max (packetSize, (juce::uint32) 1);

    const auto imageSize = (juce::uint32) image.size();
    numPackets = imageSize / packetSize + (imageSize % packetSize != 0 ? 1 : 0);
}

juce::Array<juce::uint8> FirmwareSysexData::getPacket (juce::uint32 index) const
{
    // 64-bit offsets: index * packetSize must not wrap back into the image.
    const auto imageSize = (juce::uint64) image.size();
    const auto begin = std::min ((juce::uint64) index * packetSize, imageSize);
    const auto end = std::min (begin + packetSize, imageSize);
    return juce::Array<juce::uint8> (image.begin() + begin, (int) (end - begin));
}

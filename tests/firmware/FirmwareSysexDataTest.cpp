#include "firmware/FirmwareSysexData.h"

#include <gtest/gtest.h>

namespace
{
juce::Array<juce::uint8> countingBytes (int size)
{
    juce::Array<juce::uint8> bytes;
    for (int i = 0; i < size; ++i)
        bytes.add ((juce::uint8) (i % 251));
    return bytes;
}
} // namespace

TEST (FirmwareSysexDataTest, CountsSlicesRoundingUp)
{
    EXPECT_EQ (FirmwareSysexData ({}, countingBytes (113134), 64, 10, "Out", "Image").getNumPackets(), 1768u);
    EXPECT_EQ (FirmwareSysexData ({}, countingBytes (128), 64, 10, "Out", "Image").getNumPackets(), 2u);
    EXPECT_EQ (FirmwareSysexData ({}, countingBytes (129), 64, 10, "Out", "Image").getNumPackets(), 3u);
    EXPECT_EQ (FirmwareSysexData ({}, countingBytes (1), 64, 10, "Out", "Image").getNumPackets(), 1u);
    EXPECT_EQ (FirmwareSysexData ({}, {}, 64, 10, "Out", "Image").getNumPackets(), 0u);
}

TEST (FirmwareSysexDataTest, SlicesPastTheEndAreEmpty)
{
    const FirmwareSysexData data ({}, countingBytes (100), 64, 10, "Out", "Image");
    EXPECT_TRUE (data.getPacket (2).isEmpty());
    // index * packetSize wraps in 32 bits to 64, which lies inside the image.
    EXPECT_TRUE (data.getPacket (0x04000001u).isEmpty());
    EXPECT_TRUE (data.getPacket (0xFFFFFFFFu).isEmpty());
}

TEST (FirmwareSysexDataTest, KeepsItsConfigurationAndStartsInactive)
{
    const juce::Array<juce::uint8> header { 0xF0, 0x47, 0x00, 0x2A, 0x72, 0x00, 0x00, 0xF7 };
    FirmwareSysexData data (header, countingBytes (10), 64, 10, "Kestrune Jack 1", "Audio Application Firmware");
    EXPECT_EQ (data.getHeaderMessage(), header);
    EXPECT_EQ (data.getOutputDeviceName(), "Kestrune Jack 1");
    EXPECT_EQ (data.getName(), "Audio Application Firmware");
    EXPECT_EQ (data.getPacketIntervalMs(), 10);
    EXPECT_FALSE (data.isActive());
    EXPECT_FALSE (data.isComplete());

    data.setActive (true);
    data.setComplete (true);
    EXPECT_TRUE (data.isActive());
    EXPECT_TRUE (data.isComplete());
}

#include "firmware/FirmwareSysexData.h"

#include <gtest/gtest.h>

TEST (FirmwareSysexDataTest, CutsTheImageIntoSlicesAndNothingPastItsEnd)
{
    for (const auto& [size, slices] : { std::pair { 113134, 1768u }, { 128, 2u }, { 129, 3u }, { 1, 1u }, { 0, 0u } })
    {
        juce::Array<juce::uint8> image;
        for (int i = 0; i < size; ++i)
            image.add ((juce::uint8) (i % 251));
        const FirmwareSysexData data ({}, image, 64, 10, "Out", "Image");
        EXPECT_EQ (data.getNumPackets(), slices) << size;
        const int lastStart = juce::jmax (0, (int) slices - 1) * 64;
        EXPECT_EQ (data.getPacket (juce::jmax (1u, slices) - 1), juce::Array<juce::uint8> (image.begin() + lastStart, size - lastStart)) << size;
        EXPECT_TRUE (data.getPacket (slices).isEmpty());
        // index * 64 wraps in 32 bits to 64, which lies inside the image.
        EXPECT_TRUE (data.getPacket (0x04000001u).isEmpty());
    }
}

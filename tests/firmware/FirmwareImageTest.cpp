#include "EmbeddedData.h"
#include "midi/DeviceMessages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
constexpr int imageSize = 113134;
constexpr int dataMessageOffset = 20;
constexpr int hexTextOffset = dataMessageOffset + 5;

const juce::uint8* image()
{
    return reinterpret_cast<const juce::uint8*> (EmbeddedData::firmwareImageContainer);
}

juce::uint32 wordAt (int offset)
{
    return (juce::uint32) image()[offset] | (juce::uint32) image()[offset + 1] << 8
         | (juce::uint32) image()[offset + 2] << 16 | (juce::uint32) image()[offset + 3] << 24;
}

std::vector<std::string> hexLines()
{
    const std::string text (reinterpret_cast<const char*> (image()) + hexTextOffset, (size_t) (imageSize - 1 - hexTextOffset));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find ('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back (text.substr (start, end - start));
    EXPECT_EQ (start, text.size()) << "text after the last line feed";
    return lines;
}

int hexByte (const std::string& line, size_t pos)
{
    return std::stoi (line.substr (pos, 2), nullptr, 16);
}
} // namespace

TEST (FirmwareImageTest, IsEmbeddedWithItsSizeAndTwoTrailingZeros)
{
    ASSERT_EQ (EmbeddedData::firmwareImageContainerSize, imageSize);
    EXPECT_EQ (image()[imageSize], 0);
    EXPECT_EQ (image()[imageSize + 1], 0);
}

TEST (FirmwareImageTest, FirstSliceHoldsRequestHeaderFrameAndTheStartOfTheText)
{
    const auto request = DeviceMessages::firmwareUpdateRequest();
    ASSERT_EQ (request.getRawDataSize(), 8);
    EXPECT_TRUE (std::equal (image(), image() + 8, request.getRawData()));

    EXPECT_EQ (wordAt (8), 5000u);
    EXPECT_EQ (wordAt (12), 1u);
    EXPECT_EQ (wordAt (16), 113114u);
    EXPECT_EQ (wordAt (16), (juce::uint32) (imageSize - dataMessageOffset));

    const juce::uint8 frame[] = { 0xF0, 0x47, 0x00, 0x2A, 0x70 };
    EXPECT_TRUE (std::equal (frame, frame + 5, image() + dataMessageOffset));

    // The rest of the 64-byte slice: 39 characters of Intel HEX text.
    EXPECT_EQ (image()[hexTextOffset], ':');
    for (int i = hexTextOffset; i < 64; ++i)
        EXPECT_TRUE (image()[i] == '\n' || (image()[i] >= 0x20 && image()[i] < 0x7F)) << "offset " << i;
}

TEST (FirmwareImageTest, LastSliceEndsWithTheEndOfFileRecord)
{
    const int lastSliceStart = 1767 * 64;
    EXPECT_EQ (imageSize - lastSliceStart, 46);
    const std::string tail = ":00000001FF\n\xF7";
    EXPECT_EQ (std::string (reinterpret_cast<const char*> (image()) + imageSize - (int) tail.size(), tail.size()), tail);
}

TEST (FirmwareImageTest, HoldsExactlyTwoSysExMessages)
{
    std::vector<int> starts, ends;
    for (int i = 0; i < imageSize; ++i)
    {
        if (image()[i] == 0xF0)
            starts.push_back (i);
        if (image()[i] == 0xF7)
            ends.push_back (i);
    }
    EXPECT_EQ (starts, (std::vector<int> { 0, dataMessageOffset }));
    EXPECT_EQ (ends, (std::vector<int> { 7, imageSize - 1 }));

    // Inside the data message every byte but the frame's first is below 0x80.
    for (int i = dataMessageOffset + 1; i < imageSize - 1; ++i)
        ASSERT_LT (image()[i], 0x80) << "offset " << i;
}

TEST (FirmwareImageTest, IntelHexRecordsAreWellFormedWithRightChecksums)
{
    const auto lines = hexLines();
    ASSERT_EQ (lines.size(), 2572u);

    EXPECT_EQ (lines.front().substr (0, 9), ":02000004");
    EXPECT_EQ (lines.back(), ":00000001FF");

    int expectedAddress = 0;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        const auto& line = lines[i];
        ASSERT_GE (line.size(), 11u) << "record " << i;
        ASSERT_EQ (line[0], ':') << "record " << i;
        ASSERT_EQ (line.find_first_not_of ("0123456789ABCDEF", 1), std::string::npos) << "record " << i;

        const auto count = hexByte (line, 1);
        ASSERT_EQ (line.size(), 11u + 2u * (size_t) count) << "record " << i;

        int sum = 0;
        for (size_t pos = 1; pos < line.size(); pos += 2)
            sum += hexByte (line, pos);
        EXPECT_EQ (sum & 0xFF, 0) << "checksum of record " << i << ": " << line;

        if (i > 0 && i + 1 < lines.size())
        {
            EXPECT_EQ (line.size(), 43u) << "record " << i;
            EXPECT_EQ (hexByte (line, 7), 0x00) << "type of record " << i;
            EXPECT_EQ (hexByte (line, 3) << 8 | hexByte (line, 5), expectedAddress) << "record " << i;
            expectedAddress += 16;
        }
    }
    EXPECT_EQ (expectedAddress, 2570 * 16);
}

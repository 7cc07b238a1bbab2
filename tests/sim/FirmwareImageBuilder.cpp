#include "FirmwareImageBuilder.h"

namespace
{
std::string record (int address, int type, const std::vector<int>& data)
{
    std::vector<int> bytes { (int) data.size(), (address >> 8) & 0xFF, address & 0xFF, type };
    bytes.insert (bytes.end(), data.begin(), data.end());
    int sum = 0;
    for (auto b : bytes)
        sum += b;
    bytes.push_back ((0x100 - (sum & 0xFF)) & 0xFF);

    std::string text = ":";
    for (auto b : bytes)
        text += juce::String::toHexString (b).paddedLeft ('0', 2).toUpperCase().toStdString();
    return text + "\n";
}

void appendLittleEndian (std::vector<juce::uint8>& out, juce::uint32 value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back ((juce::uint8) (value >> (8 * i)));
}
} // namespace

std::string FirmwareImageBuilder::hexText (int numDataRecords)
{
    std::string text = record (0, 4, { 0x08, 0x00 });
    juce::Random random (42);
    for (int r = 0; r < numDataRecords; ++r)
    {
        std::vector<int> data;
        for (int i = 0; i < 16; ++i)
            data.push_back (random.nextInt (256));
        text += record ((r * 16) & 0xFFFF, 0, data);
    }
    return text + record (0, 1, {});
}

std::vector<juce::uint8> FirmwareImageBuilder::image (const std::string& text)
{
    std::vector<juce::uint8> out { 0xF0, 0x47, 0x00, 0x2A, 0x72, 0x00, 0x00, 0xF7 };
    appendLittleEndian (out, 5000);
    appendLittleEndian (out, 1);
    appendLittleEndian (out, (juce::uint32) (text.size() + 6));
    for (auto b : { 0xF0, 0x47, 0x00, 0x2A, 0x70 })
        out.push_back ((juce::uint8) b);
    out.insert (out.end(), text.begin(), text.end());
    out.push_back (0xF7);
    return out;
}

size_t FirmwareImageBuilder::recordOffset (const std::vector<juce::uint8>& image, int recordIndex)
{
    size_t offset = 8 + 12 + 5;
    for (int r = 0; r < recordIndex; ++r)
        while (image[offset++] != '\n') {}
    return offset;
}

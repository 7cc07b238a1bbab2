#include "FirmwareImageBuilder.h"

#include <cassert>

namespace
{
constexpr std::uint8_t updateRequest[] = { 0xF0, 0x47, 0x00, 0x2A, 0x72, 0x00, 0x00, 0xF7 };
constexpr std::uint8_t dataMessageFrame[] = { 0xF0, 0x47, 0x00, 0x2A, 0x70 };
constexpr std::uint8_t sysexEnd = 0xF7;

constexpr std::uint8_t dataRecord = 0x00;
constexpr std::uint8_t endOfFileRecord = 0x01;
constexpr std::uint8_t extendedLinearAddressRecord = 0x04;

void appendHexByte (std::string& text, std::uint8_t value)
{
    constexpr const char* digits = "0123456789ABCDEF";
    text += digits[value >> 4];
    text += digits[value & 0x0F];
}

void appendWord (std::vector<std::uint8_t>& bytes, std::uint32_t word)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back ((std::uint8_t) (word >> (8 * i)));
}
} // namespace

std::string FirmwareImageBuilder::record (std::uint8_t type, std::uint16_t address, const std::uint8_t* data, std::size_t numBytes)
{
    assert (numBytes <= 255);

    std::string text = ":";
    std::uint8_t sum = 0;
    const auto add = [&] (std::uint8_t value)
    {
        appendHexByte (text, value);
        sum = (std::uint8_t) (sum + value);
    };

    add ((std::uint8_t) numBytes);
    add ((std::uint8_t) (address >> 8));
    add ((std::uint8_t) address);
    add (type);
    for (std::size_t i = 0; i < numBytes; ++i)
        add (data[i]);
    appendHexByte (text, (std::uint8_t) (0x100 - sum));
    return text;
}

std::vector<std::uint8_t> FirmwareImageBuilder::build (const std::vector<std::uint8_t>& firmware, std::uint32_t loadAddress)
{
    assert (firmware.size() % bytesPerRecord == 0);
    assert (firmware.size() <= 0x10000 && (loadAddress & 0xFFFF) == 0);

    std::string hex;
    const std::uint8_t upperAddress[] = { (std::uint8_t) (loadAddress >> 24), (std::uint8_t) (loadAddress >> 16) };
    hex += record (extendedLinearAddressRecord, 0, upperAddress, sizeof (upperAddress)) + "\n";
    for (std::size_t offset = 0; offset < firmware.size(); offset += bytesPerRecord)
        hex += record (dataRecord, (std::uint16_t) offset, firmware.data() + offset, bytesPerRecord) + "\n";
    hex += record (endOfFileRecord, 0, nullptr, 0) + "\n";

    const auto dataMessageSize = sizeof (dataMessageFrame) + hex.size() + 1;

    std::vector<std::uint8_t> image (std::begin (updateRequest), std::end (updateRequest));
    appendWord (image, deviceParameter);
    appendWord (image, 1); // data messages that follow
    appendWord (image, (std::uint32_t) dataMessageSize);
    image.insert (image.end(), std::begin (dataMessageFrame), std::end (dataMessageFrame));
    image.insert (image.end(), hex.begin(), hex.end());
    image.push_back (sysexEnd);
    return image;
}

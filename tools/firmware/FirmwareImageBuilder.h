#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Lays firmware bytes out as the stream the machine expects: the update
// request, a 12-byte header (device parameter, number of data messages, length
// of the data message) and one SysEx message of Intel HEX text, LF line ends.
class FirmwareImageBuilder
{
public:
    static constexpr std::uint32_t deviceParameter = 5000;
    static constexpr std::size_t bytesPerRecord = 16;

    // The firmware must be a whole number of 16-byte records, loaded at an
    // address on a 64 KiB boundary and no larger than 64 KiB.
    static std::vector<std::uint8_t> build (const std::vector<std::uint8_t>& firmware, std::uint32_t loadAddress);

    // One Intel HEX record without its line end, checksum included.
    static std::string record (std::uint8_t type, std::uint16_t address, const std::uint8_t* data, std::size_t numBytes);
};

#include "StandInFirmware.h"

#include <cstring>

namespace
{
void putWord (std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t word)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + (std::size_t) i] = (std::uint8_t) (word >> (8 * i));
}
} // namespace

std::vector<std::uint8_t> StandInFirmware::create()
{
    std::vector<std::uint8_t> bytes (size, 0x00);

    constexpr std::size_t numVectors = 64;
    constexpr std::size_t codeOffset = 0x140;
    putWord (bytes, 0, 0x20008000);
    for (std::size_t i = 1; i < numVectors; ++i)
        putWord (bytes, i * 4, (loadAddress + (std::uint32_t) (codeOffset + i * 16)) | 1u);

    std::memcpy (bytes.data() + identificationOffset, identification, std::strlen (identification));

    std::uint32_t state = 0x4B455354; // fixed seed: the image never changes
    for (std::size_t i = codeOffset; i < size - 4; ++i)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = (std::uint8_t) (state >> 24);
    }

    putWord (bytes, size - 4, crc32 (bytes.data(), size - 4));
    return bytes;
}

std::uint32_t StandInFirmware::crc32 (const std::uint8_t* data, std::size_t numBytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < numBytes; ++i)
    {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

#pragma once

#include <cstdint>
#include <vector>

// The program that the image carries in place of the machine's real firmware:
// deterministic bytes shaped like a small microcontroller image, so that the
// image is reproducible bit for bit from this source.
//
// Layout (offsets from the load address 0x08000000):
//   0x0000  vector table: 64 little-endian words, the initial stack pointer
//           0x20008000 and then handler addresses inside the image (odd: Thumb)
//   0x0100  identification block, 64 bytes of ASCII padded with 0x00:
//           "KESTRUNE BASS VOICE FIRMWARE 1.05"
//   0x0140  pseudo-random "code" from a fixed-seed xorshift32
//   last 4  CRC-32 (IEEE, reflected) of every byte before it, little-endian
class StandInFirmware
{
public:
    static constexpr std::uint32_t loadAddress = 0x08000000;
    static constexpr std::size_t size = 2570 * 16;
    static constexpr std::size_t identificationOffset = 0x100;
    static constexpr const char* identification = "KESTRUNE BASS VOICE FIRMWARE 1.05";

    static std::vector<std::uint8_t> create();

    // The CRC-32 used for the trailing checksum.
    static std::uint32_t crc32 (const std::uint8_t* data, std::size_t numBytes);
};

#pragma once

#include <cstddef>
#include <cstdint>

// What a complete MIDI message looks like, written from the MIDI 1.0 rules
// rather than taken from the parser under test, so that fuzz targets can
// judge what the parser and the engine hand on.
namespace midibytes
{
// Data bytes after a status byte (0 for real-time, SysEx markers and the rest).
inline int dataBytesAfter (std::uint8_t status)
{
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 1 : 2;   // program change and channel pressure take one
    return status == 0xF2 ? 2 : status == 0xF1 || status == 0xF3 ? 1 : 0;
}

// A SysEx F0 .. F7 of data bytes at most maxSysex long, or a status byte other
// than F0 and F7 with exactly its data bytes.
inline bool isCompleteMessage (const std::uint8_t* bytes, size_t size, size_t maxSysex)
{
    if (size == 0 || bytes[0] < 0x80 || bytes[0] == 0xF7)
        return false;
    const bool sysex = bytes[0] == 0xF0;
    if (sysex ? (size < 2 || size > maxSysex || bytes[size - 1] != 0xF7) : size != 1 + (size_t) dataBytesAfter (bytes[0]))
        return false;
    for (size_t i = 1; i < (sysex ? size - 1 : size); ++i)
        if (bytes[i] >= 0x80)
            return false;
    return true;
}
} // namespace midibytes

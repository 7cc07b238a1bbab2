#pragma once

#include <cstddef>
#include <cstdint>

// What a complete MIDI message looks like, written from the MIDI 1.0 rules
// rather than taken from the parser under test, so that fuzz targets can
// judge what the parser and the engine hand on.
namespace midibytes
{
// Data bytes that follow a status byte (0 for real-time, SysEx markers and
// status bytes without data).
int dataBytesAfter (std::uint8_t status);

// One whole message: a SysEx F0 .. F7 of data bytes at most maxSysex bytes
// long, or a status byte other than F0 and F7 with exactly its data bytes.
bool isCompleteMessage (const std::uint8_t* bytes, size_t size, size_t maxSysex);
} // namespace midibytes

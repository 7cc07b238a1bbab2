#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

// One entry function per place where bytes from outside become state. Each
// runs one input and checks what must hold; libFuzzer calls them through
// FuzzerMain.cpp, the unit tests replay the committed inputs.
int fuzzMidiStreamParser (const std::uint8_t* data, size_t size);
int fuzzDeviceMessages (const std::uint8_t* data, size_t size);
int fuzzEngine (const std::uint8_t* data, size_t size);
int fuzzFirmwareStream (const std::uint8_t* data, size_t size);

struct FuzzTarget
{
    const char* name;   // also the folder of its corpus and regression inputs
    int (*entry) (const std::uint8_t* data, size_t size);
};

inline constexpr FuzzTarget fuzzTargets[] = { { "midi_stream_parser", fuzzMidiStreamParser }, { "device_messages", fuzzDeviceMessages },
                                              { "engine", fuzzEngine }, { "firmware_stream", fuzzFirmwareStream } };

// A failed check aborts, which libFuzzer records as a crash with its input;
// the unit tests' replay installs a handler that throws instead.
namespace fuzzcheck
{
inline std::function<void (const std::string&)>& failureHandler()
{
    static std::function<void (const std::string&)> handler;
    return handler;
}

inline void require (bool condition, const char* what)
{
    if (condition)
        return;
    if (failureHandler())
        failureHandler() (what);
    std::fprintf (stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
} // namespace fuzzcheck

// A complete MIDI message by the MIDI 1.0 rules, not by the parser under test:
// SysEx F0 .. F7 at most maxSysex long, or a status with exactly its data bytes.
namespace midibytes
{
inline int dataBytesAfter (std::uint8_t status)
{
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 1 : 2;   // program change and channel pressure take one
    return status == 0xF2 ? 2 : status == 0xF1 || status == 0xF3 ? 1 : 0;
}

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

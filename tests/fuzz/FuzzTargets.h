#pragma once

#include <cstddef>
#include <cstdint>

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

inline constexpr FuzzTarget fuzzTargets[] = { { "midi_stream_parser", fuzzMidiStreamParser },
                                              { "device_messages", fuzzDeviceMessages },
                                              { "engine", fuzzEngine },
                                              { "firmware_stream", fuzzFirmwareStream } };

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Reads a fuzz input as a sequence of choices. Once the bytes run out every
// read returns 0 (and bytes() an empty run), so any input is a whole script.
class FuzzInput
{
public:
    FuzzInput (const std::uint8_t* data, size_t size) : data (data), size (size) {}

    bool empty() const { return position >= size; }
    size_t remaining() const { return size - position; }

    std::uint8_t byte();
    std::uint16_t word();   // big-endian
    // A number from 0 to bound - 1 (bound > 0).
    int below (int bound) { return byte() % bound; }
    // Up to maxCount bytes: as many as the next byte says, capped by what is left.
    std::vector<std::uint8_t> bytes (size_t maxCount);
    std::vector<std::uint8_t> rest();

private:
    const std::uint8_t* data;
    size_t size;
    size_t position = 0;
};

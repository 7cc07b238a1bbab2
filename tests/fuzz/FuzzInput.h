#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// Reads a fuzz input as a sequence of choices. Once the bytes run out every
// read returns 0 (and bytes() an empty run), so any input is a whole script.
class FuzzInput
{
public:
    FuzzInput (const std::uint8_t* d, size_t n) : data (d), size (n) {}

    bool empty() const { return position >= size; }
    std::uint8_t byte() { return empty() ? 0 : data[position++]; }
    std::uint16_t word() { const int high = byte(); return (std::uint16_t) (high << 8 | byte()); }
    int below (int bound) { return byte() % bound; }
    // As many bytes as the next byte says, capped by maxCount and what is left.
    std::vector<std::uint8_t> bytes (size_t maxCount)
    {
        const auto count = std::min ({ (size_t) byte(), maxCount, size - position });
        position += count;
        return { data + position - count, data + position };
    }

private:
    const std::uint8_t* data;
    size_t size, position = 0;
};

#include "FuzzInput.h"

#include <algorithm>

std::uint8_t FuzzInput::byte()
{
    return empty() ? 0 : data[position++];
}

std::uint16_t FuzzInput::word()
{
    const auto high = byte();
    return (std::uint16_t) ((high << 8) | byte());
}

std::vector<std::uint8_t> FuzzInput::bytes (size_t maxCount)
{
    const auto count = std::min ({ (size_t) byte(), maxCount, remaining() });
    std::vector<std::uint8_t> result (data + position, data + position + count);
    position += count;
    return result;
}

std::vector<std::uint8_t> FuzzInput::rest()
{
    std::vector<std::uint8_t> result (data + position, data + size);
    position = size;
    return result;
}

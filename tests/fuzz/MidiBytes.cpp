#include "MidiBytes.h"

namespace midibytes
{
int dataBytesAfter (std::uint8_t status)
{
    if (status < 0xF0)
        return (status & 0xE0) == 0xC0 ? 1 : 2;   // program change and channel pressure take one
    if (status == 0xF1 || status == 0xF3)
        return 1;
    return status == 0xF2 ? 2 : 0;
}

bool isCompleteMessage (const std::uint8_t* bytes, size_t size, size_t maxSysex)
{
    if (size == 0 || bytes[0] < 0x80 || bytes[0] == 0xF7)
        return false;
    if (bytes[0] == 0xF0)
    {
        if (size < 2 || size > maxSysex || bytes[size - 1] != 0xF7)
            return false;
        for (size_t i = 1; i + 1 < size; ++i)
            if (bytes[i] >= 0x80)
                return false;
        return true;
    }
    if (size != 1 + (size_t) dataBytesAfter (bytes[0]))
        return false;
    for (size_t i = 1; i < size; ++i)
        if (bytes[i] >= 0x80)
            return false;
    return true;
}
} // namespace midibytes

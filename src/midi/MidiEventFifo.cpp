#include "MidiEventFifo.h"

#include <cstring>

MidiEventFifo::MidiEventFifo (int capacityBytes) : fifo (capacityBytes), data ((size_t) capacityBytes) {}

bool MidiEventFifo::push (const juce::uint8* bytes, int size)
{
    // A two-byte size, then the bytes: both become visible to the reader in one step.
    const int total = headerBytes + size;
    if (size <= 0 || size > maxEventBytes || fifo.getFreeSpace() < total)
        return false;
    int s1, n1, s2, n2;
    fifo.prepareToWrite (total, s1, n1, s2, n2);
    const juce::uint8 header[headerBytes] { (juce::uint8) (size >> 8), (juce::uint8) (size & 0xFF) };
    write (s1, n1, s2, 0, header, headerBytes);
    write (s1, n1, s2, headerBytes, bytes, size);
    fifo.finishedWrite (total);
    return true;
}

// Writes size bytes at offset of a record whose first size1 bytes lie at
// start1 and the rest at start2.
void MidiEventFifo::write (int start1, int size1, int start2, int offset, const juce::uint8* bytes, int size)
{
    const int first = juce::jlimit (0, size, size1 - offset);
    if (first > 0)
        std::memcpy (data.data() + start1 + offset, bytes, (size_t) first);
    if (size > first)
        std::memcpy (data.data() + start2 + juce::jmax (0, offset - size1), bytes + first, (size_t) (size - first));
}

int MidiEventFifo::pop (juce::uint8* destination)
{
    if (fifo.getNumReady() < headerBytes)
        return 0;
    juce::uint8 header[headerBytes];
    read (header, headerBytes);
    const int size = (header[0] << 8) | header[1];
    read (destination, size);
    return size;
}

void MidiEventFifo::read (juce::uint8* destination, int size)
{
    int s1, n1, s2, n2;
    fifo.prepareToRead (size, s1, n1, s2, n2);
    std::memcpy (destination, data.data() + s1, (size_t) n1);
    if (n2 > 0)
        std::memcpy (destination + n1, data.data() + s2, (size_t) n2);
    fifo.finishedRead (n1 + n2);
}

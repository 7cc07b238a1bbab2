#include "JackMidiOutputQueue.h"

#include <cstring>

namespace
{
// Copies between a run of bytes and a block of the ring that AbstractFifo
// handed out in two parts (start1, size1) and (start2, ...); `at` counts from
// the start of the block.
void copyIntoRing (juce::uint8* ring, int start1, int size1, int start2, int at, const juce::uint8* source, int n) noexcept
{
    const int first = juce::jlimit (0, n, size1 - at);
    if (first > 0)
        std::memcpy (ring + start1 + at, source, (size_t) first);
    if (n > first)
        std::memcpy (ring + start2 + juce::jmax (0, at - size1), source + first, (size_t) (n - first));
}

void copyFromRing (const juce::uint8* ring, int start1, int size1, int start2, int at, juce::uint8* dest, int n) noexcept
{
    const int first = juce::jlimit (0, n, size1 - at);
    if (first > 0)
        std::memcpy (dest, ring + start1 + at, (size_t) first);
    if (n > first)
        std::memcpy (dest + first, ring + start2 + juce::jmax (0, at - size1), (size_t) (n - first));
}
} // namespace

int JackMidiOutputQueue::offsetInCycle (juce::uint32 stamp, const Cycle& cycle, const Previous& previous,
                                        juce::uint32 earliest) noexcept
{
    const auto frames = (juce::int64) cycle.frames;
    if (frames == 0)
        return laterCycle;
    const auto toFrames = [&cycle] (juce::int64 us) { return (juce::int64) ((double) us * cycle.sampleRate / 1.0e6); };
    // Signed differences: the stamps wrap every 2^32 microseconds, frame times every 2^32 frames.
    auto due = frames + toFrames ((juce::int32) (stamp - cycle.startUs));
    if (previous.valid)
    {
        const auto gapUs = (juce::int64) (juce::int32) (stamp - previous.stamp);
        const auto notBefore = (juce::int64) (juce::int32) (previous.frame - cycle.startFrame) + toFrames (gapUs);
        if (gapUs >= 0 && gapUs <= (juce::int64) maxKeptGapUs && notBefore < frames * maxLeadCycles)
            due = juce::jmax (due, notBefore);
    }
    if (due >= frames)
    {
        if (due < frames * maxLeadCycles)
            return laterCycle;
        due = earliest;
    }
    return (int) juce::jlimit ((juce::int64) earliest, frames - 1, due);
}

JackMidiOutputQueue::JackMidiOutputQueue (int capacityBytes) : fifo (capacityBytes), ring ((size_t) capacityBytes) {}

bool JackMidiOutputQueue::claim() noexcept
{
    auto expected = State::free;
    return state.compare_exchange_strong (expected, State::open);
}

void JackMidiOutputQueue::unclaim() noexcept
{
    jassert (fifo.getNumReady() == 0);
    auto expected = State::open;
    state.compare_exchange_strong (expected, State::free);
}

bool JackMidiOutputQueue::reopen() noexcept
{
    auto expected = State::closing;
    return state.compare_exchange_strong (expected, State::open);
}

void JackMidiOutputQueue::close (juce::uint32 nowMs) noexcept
{
    closedAtMs.store (nowMs);
    auto expected = State::open;
    state.compare_exchange_strong (expected, State::closing);
}

bool JackMidiOutputQueue::push (const juce::uint8* data, int size, juce::uint32 stampUs)
{
    if (size <= 0 || state.load() != State::open)
        return false;
    const int records = (size + maxRecordBytes - 1) / maxRecordBytes;
    if (fifo.getFreeSpace() < size + records * headerBytes)
        return false;
    for (int offset = 0; offset < size; offset += maxRecordBytes)
        writeRecord (data + offset, juce::jmin (maxRecordBytes, size - offset), stampUs);
    return true;
}

void JackMidiOutputQueue::writeRecord (const juce::uint8* bytes, int size, juce::uint32 stamp) noexcept
{
    const juce::uint8 header[headerBytes] = { (juce::uint8) (size >> 8), (juce::uint8) size,
                                              (juce::uint8) (stamp >> 24), (juce::uint8) (stamp >> 16),
                                              (juce::uint8) (stamp >> 8), (juce::uint8) stamp };
    int s1, n1, s2, n2;
    fifo.prepareToWrite (headerBytes + size, s1, n1, s2, n2);
    jassert (n1 + n2 == headerBytes + size);
    copyIntoRing (ring.data(), s1, n1, s2, 0, header, headerBytes);
    copyIntoRing (ring.data(), s1, n1, s2, headerBytes, bytes, size);
    // Header and bytes become visible to the process callback together.
    fifo.finishedWrite (headerBytes + size);
}

bool JackMidiOutputQueue::peekHeader (Header& header) const noexcept
{
    if (fifo.getNumReady() < headerBytes)
        return false;
    int s1, n1, s2, n2;
    fifo.prepareToRead (headerBytes, s1, n1, s2, n2);
    juce::uint8 bytes[headerBytes];
    copyFromRing (ring.data(), s1, n1, s2, 0, bytes, headerBytes);
    header.size = (bytes[0] << 8) | bytes[1];
    header.stamp = ((juce::uint32) bytes[2] << 24) | ((juce::uint32) bytes[3] << 16) | ((juce::uint32) bytes[4] << 8) | bytes[5];
    return true;
}

void JackMidiOutputQueue::takeRecord (juce::uint8* dest, int size) noexcept
{
    int s1, n1, s2, n2;
    fifo.prepareToRead (headerBytes + size, s1, n1, s2, n2);
    copyFromRing (ring.data(), s1, n1, s2, headerBytes, dest, size);
    fifo.finishedRead (n1 + n2);
}

bool JackMidiOutputQueue::isDrained() const noexcept
{
    // Emptiness first: writeCycle marks the cycle busy before it takes anything.
    return fifo.getNumReady() == 0 && cyclesSeen.load() >= lastBusyCycle.load() + 2;
}

bool JackMidiOutputQueue::retireIfDone (juce::uint32 nowMs, bool cyclesRunning) noexcept
{
    if (state.load() != State::closing)
        return false;
    if (cyclesRunning && ! isDrained() && nowMs - closedAtMs.load() < drainBoundMs)
        return false;
    auto expected = State::closing;
    if (! state.compare_exchange_strong (expected, State::retiring))
        return false;
    // A cycle that began before the change may still be reading; the next
    // one to end has seen it.
    retiredAtCycle.store (cyclesSeen.load());
    return true;
}

bool JackMidiOutputQueue::freeIfRetired (bool cyclesRunning) noexcept
{
    if (state.load() != State::retiring || (cyclesRunning && cyclesSeen.load() <= retiredAtCycle.load()))
        return false;
    fifo.reset();
    lastBusyCycle.store (0);
    previous = {};
    state.store (State::free);
    return true;
}

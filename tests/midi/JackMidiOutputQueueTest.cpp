#include "midi/JackMidiOutputQueue.h"

#include <gtest/gtest.h>

namespace
{
using Bytes = std::vector<juce::uint8>;
using Events = std::vector<std::pair<juce::uint32, Bytes>>; // absolute frame, bytes
constexpr juce::uint32 frames = 512;

// Process cycles from startFrame on whose buffers take `room` events each. At
// one frame per microsecond stamps and frames read alike; a cycle whose clock
// is ahead of its frame counter started late.
Events runCycles (JackMidiOutputQueue& queue, juce::uint32 startFrame, int cycles = 1, size_t room = 99, juce::uint32 lateUs = 0)
{
    Events events;
    for (size_t inCycle = 0; cycles-- > 0; startFrame += frames, inCycle = 0)
        queue.writeCycle ({ startFrame, startFrame + lateUs, frames, 1.0e6 }, [&] (juce::uint32 offset, size_t size) {
            if (inCycle++ >= room)
                return (juce::uint8*) nullptr;
            events.push_back ({ startFrame + offset, Bytes (size) });
            return events.back().second.data();
        });
    return events;
}

bool push (JackMidiOutputQueue& queue, Bytes bytes, juce::uint32 stamp) { return queue.push (bytes.data(), (int) bytes.size(), stamp); }
} // namespace

TEST (JackMidiOutputQueue, PlacesARecordOnePeriodAfterItsStampWithinTheCycle)
{
    constexpr auto later = JackMidiOutputQueue::laterCycle;
    constexpr juce::uint32 start = 48000;
    const JackMidiOutputQueue::Previous none, before { true, start - 100, start };
    const struct { const char* name; juce::uint32 stamp, startUs, earliest; JackMidiOutputQueue::Previous previous; int expected; double rate = 1.0e6; } cases[] = {
        { "sent during the previous cycle", start - frames + 100, start, 0, none, 100 },
        { "sent just before this cycle", start - 1, start, 0, none, 511 },
        { "late: sent two periods ago", start - 2 * frames, start, 0, none, 0 },
        { "never before the port's previous event", start - frames + 100, start, 200, none, 200 },
        { "sent during this cycle: the next one", start, start, 0, none, later },
        { "a cycle ahead: waits", start + frames + 10, start, 0, none, later },
        { "far ahead: the clock jumped", start + 100000, start, 0, none, 0 },
        { "far ahead, after an event", start + 100000, start, 40, none, 40 },
        { "as far ahead as no cycle waits", start + 7 * frames, start, 0, none, 0 },
        { "just short of that: waits", start + 7 * frames - 1, start, 0, none, later },
        { "stamped before the wrap, cycle after it", 0xFFFFFFF0u, 100, 0, none, 396 },
        { "stamped after the wrap, cycle before it", 0x10, 0xFFFFFF00u, 0, none, later },
        { "microseconds to frames", start - 5000, start, 0, none, 512 - 240, 48000.0 },
        // This cycle started 1000 us after its frame counter says: without the
        // previous record the gap of 600 us would shrink to 212 frames.
        { "a late cycle keeps the gap to the previous record", start + 600, start + 1000, 0, before, 500 },
        { "a kept gap that reaches past the cycle waits", start + 800, start + 1000, 0, before, later },
        { "stamped with the previous record: not before it", start + 600, start + 1000, 0, { true, start + 300, start + 600 }, 300 },
        { "no gap kept across a pause", start + 600, start + 1000, 0, { true, start - 100, start + 600 - 1000001 }, 112 },
        { "no gap kept from a stamp after this one", start + 600, start + 1000, 0, { true, start - 100, start + 700 }, 112 },
        { "no gap kept once the frame counter went back", start + 600, start + 1000, 0, { true, start + 100000, start + 590 }, 112 },
    };
    for (const auto& c : cases)
        EXPECT_EQ (JackMidiOutputQueue::offsetInCycle (c.stamp, { start, c.startUs, frames, c.rate }, c.previous, c.earliest), c.expected) << c.name;
}

TEST (JackMidiOutputQueue, RecordsKeepTheirBytesAndSpacingAndWaitForTheirCycle)
{
    JackMidiOutputQueue queue (4096);
    ASSERT_TRUE (queue.claim());
    // Stamped during the cycle at frame 1000: each goes out one period later.
    ASSERT_TRUE (push (queue, { 0xF0, 0x01, 0xF7 }, 1010) && push (queue, { 0x90, 24, 127 }, 1106) && push (queue, { 0x80, 24, 0 }, 1700));
    EXPECT_EQ (runCycles (queue, 1000 + frames, 2),
               (Events { { 1010 + frames, { 0xF0, 0x01, 0xF7 } }, { 1106 + frames, { 0x90, 24, 127 } }, { 1700 + frames, { 0x80, 24, 0 } } }));

    // A cycle that starts late still puts 310 frames between records handed over 310 us apart.
    ASSERT_TRUE (push (queue, { 0x90, 30, 1 }, 2090) && push (queue, { 0x90, 31, 1 }, 2400));
    const auto onTime = runCycles (queue, 2100), late = runCycles (queue, 2100 + frames, 1, 99, 188);
    ASSERT_EQ (onTime.size() + late.size(), 2u);
    EXPECT_EQ (late[0].first - onTime[0].first, 310u);

    // A run longer than one record goes out as several events at one offset;
    // what a full buffer does not take goes first in the next cycle. Records
    // across the end of the ring arrive whole too, even one whose header it cuts.
    const auto joined = [] (const Events& events) {
        Bytes bytes;
        for (const auto& event : events)
            bytes.insert (bytes.end(), event.second.begin(), event.second.end());
        return bytes;
    };
    Bytes slice (2500);
    for (size_t i = 0; i < slice.size(); ++i)
        slice[i] = (juce::uint8) (i * 7);
    ASSERT_TRUE (push (queue, slice, 3000));
    const auto events = runCycles (queue, 3000 + frames - 64, 2, 2);
    EXPECT_EQ (joined (events), slice);
    ASSERT_EQ (events.size(), 3u);
    EXPECT_EQ (events[1].first, 3000 + frames);
    EXPECT_EQ (events[2].first, 3000 + 2 * frames - 64);
    // The first leaves the ring's last 3 bytes free; 3907 its last byte, for
    // the next header; 4057 its last 7 bytes, for the next header and one
    // byte of the run.
    for (const size_t size : { 1518, 2100, 2100, 3907, 100, 4057, 100 })
    {
        slice.resize (size);
        for (size_t i = 0; i < size; ++i) // unlike what lay in the ring before
            slice[i] = (juce::uint8) (i * 7 + size);
        const Bytes next { 0x90, 1, (juce::uint8) size };   // unlike the one before it too
        ASSERT_TRUE (push (queue, slice, 4000) && push (queue, next, 4000));
        slice.insert (slice.end(), next.begin(), next.end());
        EXPECT_EQ (joined (runCycles (queue, 4000 + frames)), slice) << size;
    }

    // No room for a whole run: nothing of it is queued. Short by the header
    // of its last record, one byte long, is short too.
    EXPECT_FALSE (push (queue, Bytes (4090, 0x55), 5000));
    EXPECT_TRUE (runCycles (queue, 5000 + frames).empty());
    JackMidiOutputQueue tight (1037); // 1036 bytes free
    ASSERT_TRUE (tight.claim());
    EXPECT_FALSE (push (tight, Bytes (1025), 0));
    EXPECT_TRUE (push (tight, Bytes (1024), 0));
}

TEST (JackMidiOutputQueue, AClosedQueueDrainsAndIsFreedOnlyWhenNoCycleCanStillReadItThenIsReusedWithoutLeftovers)
{
    JackMidiOutputQueue queue (4096);
    EXPECT_TRUE (queue.claim());
    EXPECT_FALSE (queue.claim() || queue.reopen()) << "claimed once; only a closing queue reopens";
    ASSERT_TRUE (push (queue, { 0x80, 24, 0 }, 10));
    queue.close (1000);
    EXPECT_FALSE (push (queue, { 0x80, 25, 0 }, 20)) << "a closed queue takes nothing more";
    EXPECT_FALSE (queue.retireIfDone (1000, true));
    EXPECT_EQ (runCycles (queue, frames).size(), 1u) << "still written after the close";
    EXPECT_FALSE (queue.retireIfDone (1001, true));
    runCycles (queue, 2 * frames);
    EXPECT_FALSE (queue.retireIfDone (1002, true)) << "the peer may not have read it yet";
    runCycles (queue, 3 * frames);
    EXPECT_TRUE (queue.isDrained() && queue.retireIfDone (1003, true));
    EXPECT_FALSE (queue.claim() || queue.freeIfRetired (true)) << "a cycle may still be reading it";
    runCycles (queue, 4 * frames);
    EXPECT_TRUE (queue.freeIfRetired (true));

    // Reopened before it retired, it goes on with what it had.
    ASSERT_TRUE (queue.claim() && push (queue, { 0x80, 26, 0 }, 5 * frames));
    queue.close (2000);
    ASSERT_TRUE (queue.reopen() && push (queue, { 0x80, 27, 0 }, 5 * frames));
    EXPECT_FALSE (queue.retireIfDone (10000, true)) << "an open queue is never retired";
    EXPECT_EQ (runCycles (queue, 6 * frames), (Events { { 6 * frames, { 0x80, 26, 0 } }, { 6 * frames, { 0x80, 27, 0 } } }));

    // Once the server is gone no cycle runs: nothing waits for one.
    ASSERT_TRUE (push (queue, { 0x80, 28, 0 }, 30));
    queue.close (3000);
    EXPECT_TRUE (queue.retireIfDone (3000, false) && queue.freeIfRetired (false));

    // A queue that cannot drain is retired once the bound has passed, then left alone.
    ASSERT_TRUE (queue.claim());
    for (int note = 24; note < 64; ++note)
        ASSERT_TRUE (push (queue, { 0x80, (juce::uint8) note, 0 }, 7 * frames));
    queue.close (5000);
    EXPECT_TRUE (runCycles (queue, 8 * frames, 10, 0).empty()); // the buffer never has room
    EXPECT_FALSE (queue.retireIfDone (5000 + JackMidiOutputQueue::drainBoundMs - 1, true));
    EXPECT_TRUE (queue.retireIfDone (5000 + JackMidiOutputQueue::drainBoundMs, true));
    EXPECT_TRUE (runCycles (queue, 18 * frames).empty());
    ASSERT_TRUE (queue.freeIfRetired (true) && queue.claim());
    ASSERT_TRUE (push (queue, { 0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7 }, 18 * frames));
    EXPECT_EQ (runCycles (queue, 19 * frames), (Events { { 19 * frames, { 0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7 } } })) << "no leftovers";
}

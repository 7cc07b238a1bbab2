#include "midi/JackMidiOutputQueue.h"

#include <gtest/gtest.h>

#include <deque>

namespace
{
using State = JackMidiOutputQueue::State;
constexpr juce::uint32 frames = 512;

struct Event
{
    juce::uint32 offset;
    std::vector<juce::uint8> bytes;
};

// One process cycle's output buffer; `room` events fit in it.
struct Cycle
{
    std::deque<Event> events;
    size_t room = 1000;

    juce::uint8* reserve (juce::uint32 offset, size_t size)
    {
        if (events.size() >= room)
            return nullptr;
        events.push_back ({ offset, std::vector<juce::uint8> (size) });
        return events.back().bytes.data();
    }
};

// At a rate of one frame per microsecond, stamps and frames read alike; a
// cycle whose clock is ahead of its frame counter started late.
Cycle runCycle (JackMidiOutputQueue& queue, juce::uint32 startFrame, size_t room = 1000, juce::uint32 lateUs = 0)
{
    Cycle cycle;
    cycle.room = room;
    queue.writeCycle ({ startFrame, startFrame + lateUs, frames, 1.0e6 },
                      [&] (juce::uint32 offset, size_t size) { return cycle.reserve (offset, size); });
    return cycle;
}

bool push (JackMidiOutputQueue& queue, std::vector<juce::uint8> bytes, juce::uint32 stamp)
{
    return queue.push (bytes.data(), (int) bytes.size(), stamp);
}
} // namespace

TEST (JackMidiOutputQueue, PlacesARecordOnePeriodAfterItsStampWithinTheCycle)
{
    constexpr auto later = JackMidiOutputQueue::laterCycle;
    constexpr juce::uint32 start = 48000;
    using Previous = JackMidiOutputQueue::Previous;
    struct Case
    {
        const char* name;
        juce::uint32 stamp, startUs, earliest;
        Previous previous;
        int expected;
        double rate = 1.0e6;
    };
    const Previous none;
    const Case cases[] = {
        { "sent during the previous cycle", start - frames + 100, start, 0, none, 100 },
        { "sent just before this cycle", start - 1, start, 0, none, 511 },
        { "late: sent two periods ago", start - 2 * frames, start, 0, none, 0 },
        { "late, after an event already in the cycle", start - 2 * frames, start, 37, none, 37 },
        { "never before the port's previous event", start - frames + 100, start, 200, none, 200 },
        { "sent during this cycle: the next one", start, start, 0, none, later },
        { "a cycle ahead: waits", start + frames + 10, start, 0, none, later },
        { "far ahead: the clock jumped", start + 100000, start, 0, none, 0 },
        { "far ahead, after an event", start + 100000, start, 40, none, 40 },
        { "clock about to wrap", 0xFFFFFF00u - frames + 300, 0xFFFFFF00u, 0, none, 300 },
        { "stamped before the wrap, cycle after it", 0xFFFFFFF0u, 100, 0, none, 396 },
        { "stamped after the wrap, cycle before it", 0x10, 0xFFFFFF00u, 0, none, later },
        { "microseconds to frames", start - 5000, start, 0, none, 512 - 240, 48000.0 },
        // This cycle started 1000 us after its frame counter says: without the
        // previous record the gap of 600 us would shrink to 212 frames.
        { "a late cycle keeps the gap to the previous record", start + 600, start + 1000, 0, { true, start - 100, start }, 500 },
        { "a kept gap that reaches past the cycle waits", start + 800, start + 1000, 0, { true, start - 100, start }, later },
        { "no gap kept across a pause", start + 600, start + 1000, 0, { true, start - 100, start + 600 - 1000001 }, 112 },
        { "no gap kept from a stamp after this one", start + 600, start + 1000, 0, { true, start - 100, start + 700 }, 112 },
        { "no gap kept once the frame counter went back", start + 600, start + 1000, 0, { true, start + 100000, start + 590 }, 112 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const JackMidiOutputQueue::Cycle cycle { start, c.startUs, frames, c.rate };
        EXPECT_EQ (JackMidiOutputQueue::offsetInCycle (c.stamp, cycle, c.previous, c.earliest), c.expected);
    }
}

TEST (JackMidiOutputQueue, RecordsKeepTheirSpacingAndWaitForTheirCycle)
{
    JackMidiOutputQueue queue (4096);
    ASSERT_TRUE (queue.claim());
    // Stamps taken during the cycle that starts at frame 1000.
    ASSERT_TRUE (push (queue, { 0xF0, 0x01, 0xF7 }, 1010));
    ASSERT_TRUE (push (queue, { 0x90, 24, 127 }, 1106));
    ASSERT_TRUE (push (queue, { 0x80, 24, 0 }, 1700));

    const auto first = runCycle (queue, 1000 + frames);
    ASSERT_EQ (first.events.size(), 2u);
    EXPECT_EQ (first.events[0].offset, 10u);
    EXPECT_EQ (first.events[0].bytes, (std::vector<juce::uint8> { 0xF0, 0x01, 0xF7 }));
    EXPECT_EQ (first.events[1].offset, 106u);
    EXPECT_EQ (first.events[1].bytes, (std::vector<juce::uint8> { 0x90, 24, 127 }));

    const auto second = runCycle (queue, 1000 + 2 * frames);
    ASSERT_EQ (second.events.size(), 1u);
    EXPECT_EQ (second.events[0].offset, 1700 + frames - (1000 + 2 * frames));
    EXPECT_EQ (second.events[0].bytes, (std::vector<juce::uint8> { 0x80, 24, 0 }));

    // A cycle that starts late: the second record still goes out as long
    // after the first as it was handed over after it.
    ASSERT_TRUE (push (queue, { 0x90, 30, 1 }, 2090));
    ASSERT_TRUE (push (queue, { 0x90, 31, 1 }, 2400));
    const auto onTime = runCycle (queue, 2100);
    const auto late = runCycle (queue, 2100 + frames, 1000, 188);
    ASSERT_EQ (onTime.events.size(), 1u);
    ASSERT_EQ (late.events.size(), 1u);
    EXPECT_EQ (2100 + onTime.events[0].offset, 2602u);
    EXPECT_EQ (2100 + frames + late.events[0].offset, 2602u + 310);

    // A run longer than one record goes out as several events at one offset;
    // what a full buffer does not take goes first in the next cycle.
    std::vector<juce::uint8> slice (2500);
    for (size_t i = 0; i < slice.size(); ++i)
        slice[i] = (juce::uint8) i;
    ASSERT_TRUE (push (queue, slice, 3000));
    const auto full = runCycle (queue, 3000 + frames - 64, 2);
    ASSERT_EQ (full.events.size(), 2u);
    const auto rest = runCycle (queue, 3000 + 2 * frames - 64);
    ASSERT_EQ (rest.events.size(), 1u);
    EXPECT_EQ (full.events[0].offset, 64u);
    EXPECT_EQ (full.events[1].offset, 64u);
    EXPECT_EQ (rest.events[0].offset, 0u);
    std::vector<juce::uint8> joined;
    for (const auto* cycle : { &full, &rest })
        for (const auto& event : cycle->events)
            joined.insert (joined.end(), event.bytes.begin(), event.bytes.end());
    EXPECT_EQ (joined, slice);

    // No room for a whole run: nothing of it is queued.
    const std::vector<juce::uint8> tooLong (4090, 0x55);
    EXPECT_FALSE (push (queue, tooLong, 4000));
    EXPECT_TRUE (runCycle (queue, 4000 + frames).events.empty());
}

TEST (JackMidiOutputQueue, AClosedQueueDrainsThenIsFreedOnceThePeerHadTwoCyclesToReadIt)
{
    JackMidiOutputQueue queue (4096);
    EXPECT_TRUE (queue.claim());
    EXPECT_FALSE (queue.claim());
    ASSERT_TRUE (push (queue, { 0x80, 24, 0 }, 10));
    queue.close (1000);
    EXPECT_EQ (queue.getState(), State::closing);
    EXPECT_FALSE (push (queue, { 0x80, 25, 0 }, 20)) << "a closed queue takes nothing more";

    EXPECT_FALSE (queue.retireIfDone (1000, true));
    EXPECT_EQ (runCycle (queue, frames).events.size(), 1u) << "still written after the close";
    EXPECT_FALSE (queue.retireIfDone (1001, true));
    runCycle (queue, 2 * frames);
    EXPECT_FALSE (queue.retireIfDone (1002, true)) << "the peer may not have read it yet";
    runCycle (queue, 3 * frames);
    EXPECT_TRUE (queue.isDrained());
    EXPECT_TRUE (queue.retireIfDone (1003, true));
    EXPECT_EQ (queue.getState(), State::retiring);
    EXPECT_FALSE (queue.claim());

    EXPECT_FALSE (queue.freeIfRetired (true)) << "a cycle may still be reading it";
    runCycle (queue, 4 * frames);
    EXPECT_TRUE (queue.freeIfRetired (true));
    EXPECT_EQ (queue.getState(), State::free);

    // Once the server is gone no cycle runs: nothing waits for one.
    ASSERT_TRUE (queue.claim());
    ASSERT_TRUE (push (queue, { 0x80, 26, 0 }, 30));
    queue.close (2000);
    EXPECT_TRUE (queue.retireIfDone (2000, false));
    EXPECT_TRUE (queue.freeIfRetired (false));
    EXPECT_EQ (queue.getState(), State::free);
}

TEST (JackMidiOutputQueue, AQueueThatCannotDrainIsRetiredAfterTheBoundAndReusedWithoutLeftovers)
{
    JackMidiOutputQueue queue (4096);
    ASSERT_TRUE (queue.claim());
    for (int note = 24; note < 64; ++note)
        ASSERT_TRUE (push (queue, { 0x80, (juce::uint8) note, 0 }, 100));
    queue.close (5000);

    juce::uint32 start = frames;
    for (int i = 0; i < 10; ++i, start += frames)
        EXPECT_TRUE (runCycle (queue, start, 0).events.empty()); // the buffer never has room
    EXPECT_FALSE (queue.retireIfDone (5000 + JackMidiOutputQueue::drainBoundMs - 1, true));
    EXPECT_TRUE (queue.retireIfDone (5000 + JackMidiOutputQueue::drainBoundMs, true));
    EXPECT_TRUE (runCycle (queue, start).events.empty()) << "a retired queue is left alone";
    start += frames;
    ASSERT_TRUE (queue.freeIfRetired (true));

    ASSERT_TRUE (queue.claim());
    ASSERT_TRUE (push (queue, { 0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7 }, start));
    start += frames;
    const auto cycle = runCycle (queue, start);
    ASSERT_EQ (cycle.events.size(), 1u) << "nothing left over for the next destination";
    EXPECT_EQ (cycle.events[0].bytes, (std::vector<juce::uint8> { 0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7 }));
}

TEST (JackMidiOutputQueue, ReopenedBeforeItRetiredItGoesOnWithWhatItHad)
{
    JackMidiOutputQueue queue (4096);
    ASSERT_TRUE (queue.claim());
    EXPECT_FALSE (queue.reopen()) << "only a closing queue reopens";
    ASSERT_TRUE (push (queue, { 0x80, 24, 0 }, 10));
    queue.close (0);
    ASSERT_TRUE (queue.reopen());
    ASSERT_TRUE (push (queue, { 0x80, 25, 0 }, 20));
    EXPECT_FALSE (queue.retireIfDone (10000, true)) << "an open queue is never retired";

    const auto cycle = runCycle (queue, frames);
    ASSERT_EQ (cycle.events.size(), 2u);
    EXPECT_EQ (cycle.events[0].bytes[1], 24);
    EXPECT_EQ (cycle.events[1].bytes[1], 25);
}

#include "midi/MidiEventFifo.h"

#include <gtest/gtest.h>

TEST (MidiEventFifo, EventsComeOutWholeAndInOrderWhereverTheyWrap)
{
    using Bytes = std::vector<juce::uint8>;
    const auto event = [] (int size, int seed) {
        Bytes bytes ((size_t) size);
        for (int i = 0; i < size; ++i)
            bytes[(size_t) i] = (juce::uint8) (seed * 16 + i);
        return bytes;
    };
    Bytes out ((size_t) MidiEventFifo::maxEventBytes);
    // 16 bytes hold 15: every start position puts the wrap inside the size,
    // inside the bytes, or between them.
    for (int start = 0; start < 16; ++start)
    {
        MidiEventFifo fifo (16);
        // Moves the write position on by start (mod 16): records of 3 to 15 bytes.
        for (int left = start > 0 && start < 3 ? start + 16 : start; left > 0;)
        {
            const int record = left > 15 ? left - 8 : left;
            const Bytes filler ((size_t) record - 2, 0x7F);
            ASSERT_TRUE (fifo.push (filler.data(), record - 2));
            ASSERT_EQ (fifo.pop (out.data()), record - 2);
            left -= record;
        }
        // 2 + 3 and 2 + 7 bytes fit; a third event, one byte with its size, does
        // not fit the byte left and is not written in part.
        const Bytes first = event (3, start), second = event (7, start + 1), third = event (1, 9);
        ASSERT_TRUE (fifo.push (first.data(), 3)) << start;
        ASSERT_TRUE (fifo.push (second.data(), 7)) << start;
        EXPECT_FALSE (fifo.push (third.data(), 1)) << start;
        EXPECT_EQ (Bytes (out.begin(), out.begin() + fifo.pop (out.data())), first) << start;
        EXPECT_EQ (Bytes (out.begin(), out.begin() + fifo.pop (out.data())), second) << start;
        EXPECT_EQ (fifo.pop (out.data()), 0) << start;
        // Emptied, it takes the largest event that fits.
        const Bytes largest = event (13, start);
        ASSERT_TRUE (fifo.push (largest.data(), 13)) << start;
        EXPECT_EQ (Bytes (out.begin(), out.begin() + fifo.pop (out.data())), largest) << start;
    }

    // Empty and oversized events are refused; the largest a record can carry passes.
    MidiEventFifo fifo (MidiEventFifo::maxEventBytes + 8);
    const Bytes big = event (MidiEventFifo::maxEventBytes + 1, 3);
    EXPECT_FALSE (fifo.push (big.data(), 0));
    EXPECT_FALSE (fifo.push (big.data(), MidiEventFifo::maxEventBytes + 1));
    ASSERT_TRUE (fifo.push (big.data(), MidiEventFifo::maxEventBytes));
    EXPECT_EQ (fifo.pop (out.data()), MidiEventFifo::maxEventBytes);
    EXPECT_TRUE (std::equal (out.begin(), out.end(), big.begin()));
}

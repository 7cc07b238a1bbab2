#include "midi/MidiStreamParser.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
using Bytes = std::vector<int>;

struct Collector
{
    MidiStreamParser parser;
    std::vector<Bytes> messages;

    void feed (std::vector<juce::uint8> bytes)
    {
        for (auto b : bytes)
            if (parser.push (b))
                messages.emplace_back (parser.message().begin(), parser.message().end());
    }
};
} // namespace

TEST (MidiStreamParser, SplitsRunsIntoCompleteMessagesWithRunningStatus)
{
    Collector c;
    c.feed ({ 0x90, 0x18, 0x7F, 0x19, 0x7F, 0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7, 0xC0, 0x05 });
    ASSERT_EQ (c.messages.size(), 4u);
    EXPECT_EQ (c.messages[0], (Bytes { 0x90, 0x18, 0x7F }));
    EXPECT_EQ (c.messages[1], (Bytes { 0x90, 0x19, 0x7F }));
    EXPECT_EQ (c.messages[2], (Bytes { 0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7 }));
    EXPECT_EQ (c.messages[3], (Bytes { 0xC0, 0x05 }));
}

TEST (MidiStreamParser, JoinsSysexSplitAcrossRunsAndNeverDeliversAFragment)
{
    Collector c;
    c.feed ({ 0xF0, 0x47, 0x00 });
    EXPECT_TRUE (c.messages.empty());
    c.feed ({ 0x2A, 0xF8, 0x24 }); // a clock byte inside the SysEx is passed on at once
    ASSERT_EQ (c.messages.size(), 1u);
    EXPECT_EQ (c.messages[0], (Bytes { 0xF8 }));
    c.feed ({ 0x00, 0xF7 });
    ASSERT_EQ (c.messages.size(), 2u);
    EXPECT_EQ (c.messages[1], (Bytes { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0xF7 }));
}

TEST (MidiStreamParser, DropsSysexCutShortOrTooLongAndRecovers)
{
    Collector c;
    c.feed ({ 0xF0, 0x47, 0x00, 0x90, 0x18, 0x7F }); // a note-on interrupts the SysEx
    ASSERT_EQ (c.messages.size(), 1u);
    EXPECT_EQ (c.messages[0], (Bytes { 0x90, 0x18, 0x7F }));

    std::vector<juce::uint8> huge (MidiStreamParser::maxSysexBytes + 10, 0x11);
    huge.front() = 0xF0;
    huge.back() = 0xF7;
    c.feed (huge);
    EXPECT_EQ (c.messages.size(), 1u);

    c.feed ({ 0xF0, 0x01, 0xF7 });
    ASSERT_EQ (c.messages.size(), 2u);
    EXPECT_EQ (c.messages[1], (Bytes { 0xF0, 0x01, 0xF7 }));
}

TEST (MidiStreamParser, IgnoresStrayBytesAndResetForgetsAPartialSysex)
{
    Collector c;
    c.feed ({ 0x12, 0x34, 0xF7 });
    EXPECT_TRUE (c.messages.empty());
    c.feed ({ 0xF0, 0x47 });
    c.parser.reset();
    c.feed ({ 0x00, 0xF7 });
    EXPECT_TRUE (c.messages.empty());
}

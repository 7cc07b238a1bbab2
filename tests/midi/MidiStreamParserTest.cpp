#include "midi/MidiStreamParser.h"

#include <gtest/gtest.h>

TEST (MidiStreamParser, CutsRunsIntoCompleteMessages)
{
    using Bytes = std::vector<juce::uint8>;
    Bytes longest (MidiStreamParser::maxSysexBytes, 0x11), tooLong (MidiStreamParser::maxSysexBytes + 1, 0x11);
    longest.front() = tooLong.front() = 0xF0;
    longest.back() = tooLong.back() = 0xF7;
    const struct
    {
        const char* name;
        std::vector<Bytes> runs;
        std::vector<Bytes> messages;
    } cases[] = {
        { "running status, SysEx, program change", { { 0x90, 0x18, 0x7F, 0x19, 0x7F, 0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7, 0xC0, 0x05 } },
          { { 0x90, 0x18, 0x7F }, { 0x90, 0x19, 0x7F }, { 0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7 }, { 0xC0, 0x05 } } },
        { "SysEx across runs, a clock byte inside passed on at once", { { 0xF0, 0x47, 0x00 }, { 0x2A, 0xF8, 0x24 }, { 0x00, 0xF7 } },
          { { 0xF8 }, { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0xF7 } } },
        { "SysEx cut short by a note, which leaves no running status", { { 0xF0, 0x47, 0x00, 0x90, 0x18, 0x7F, 0xF0, 0x01, 0xF7, 0x19, 0x7F } },
          { { 0x90, 0x18, 0x7F }, { 0xF0, 0x01, 0xF7 } } },
        { "longest SysEx kept", { longest }, { longest } },
        { "one byte longer: dropped whole", { tooLong, { 0xF0, 0x02, 0xF7 } }, { { 0xF0, 0x02, 0xF7 } } },
        { "stray bytes", { { 0x12, 0x34, 0xF7, 0xF1, 0x05, 0xF6 } }, { { 0xF1, 0x05 }, { 0xF6 } } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        MidiStreamParser parser;
        std::vector<Bytes> messages;
        for (const auto& run : c.runs)
            for (auto byte : run)
                if (parser.push (byte))
                    messages.push_back (parser.message());
        EXPECT_EQ (messages, c.messages);
    }
}

TEST (MidiStreamParser, ResetForgetsAPartialSysex)
{
    MidiStreamParser parser;
    for (auto byte : { 0xF0, 0x47 })
        EXPECT_FALSE (parser.push ((juce::uint8) byte));
    parser.reset();
    EXPECT_FALSE (parser.push (0x00));
    EXPECT_FALSE (parser.push (0xF7));
}

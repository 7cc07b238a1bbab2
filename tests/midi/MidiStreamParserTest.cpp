#include "midi/MidiStreamParser.h"

#include <gtest/gtest.h>

TEST (MidiStreamParser, CutsRunsIntoCompleteMessages)
{
    using Bytes = std::vector<juce::uint8>;
    Bytes longest (MidiStreamParser::maxSysexBytes, 0x11), tooLong (MidiStreamParser::maxSysexBytes + 1, 0x11);
    longest.front() = tooLong.front() = 0xF0;
    longest.back() = tooLong.back() = 0xF7;
    const std::pair<std::vector<Bytes>, std::vector<Bytes>> cases[] = { // runs, messages
        { { { 0x90, 0x18, 0x7F, 0x19, 0x7F, 0xC0, 0x05, 0xF1, 0x05, 0xF6, 0x33, 0x44 } }, { { 0x90, 0x18, 0x7F }, { 0x90, 0x19, 0x7F }, { 0xC0, 0x05 }, { 0xF1, 0x05 }, { 0xF6 } } },
        // A system message leaves no running status. A SysEx across runs; a clock byte inside it is passed on at once.
        { { { 0xF0, 0x47, 0x00 }, { 0x2A, 0xF8, 0x24 }, { 0x00, 0xF7 } }, { { 0xF8 }, { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0xF7 } } },
        // A SysEx cut short by a note; a SysEx leaves no running status; stray bytes.
        { { { 0xF0, 0x47, 0x00, 0x90, 0x18, 0x7F, 0xF0, 0x01, 0xF7, 0x19, 0x7F, 0x12, 0xF7 } }, { { 0x90, 0x18, 0x7F }, { 0xF0, 0x01, 0xF7 } } },
        // The longest SysEx is kept; one a byte longer is dropped whole.
        { { longest, tooLong, { 0xF0, 0x02, 0xF7 } }, { longest, { 0xF0, 0x02, 0xF7 } } },
    };
    for (const auto& [runs, expected] : cases)
    {
        MidiStreamParser parser;
        std::vector<Bytes> messages;
        for (const auto& run : runs)
            for (auto byte : run)
                if (parser.push (byte))
                    messages.push_back (parser.message());
        EXPECT_EQ (messages, expected);
    }
    // A reset forgets a partial SysEx.
    MidiStreamParser parser;
    for (auto byte : { 0xF0, 0x47 })
        parser.push ((juce::uint8) byte);
    parser.reset();
    EXPECT_FALSE (parser.push (0x00) || parser.push (0xF7));
}

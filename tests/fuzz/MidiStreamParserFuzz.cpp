// The MIDI byte stream as JACK hands it over: runs of any length, cut
// anywhere. The parser must deliver the same messages however the stream is
// cut, only complete messages, and SysEx only whole and within its bound.

#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "midi/MidiStreamParser.h"

#include <juce_audio_basics/juce_audio_basics.h>

namespace
{
using Message = std::vector<std::uint8_t>;
using fuzzcheck::require;

// The same stream read in one piece, as a list of rules: real-time bytes pass
// at once; F0 opens SysEx, F7 closes it (too long: dropped), any other status
// abandons it; running status carries over channel messages only; a data byte
// with nothing to attach to, and a stray F7, are dropped.
std::vector<Message> referenceMessages (const Message& stream)
{
    std::vector<Message> out;
    Message partial;   // the message being read, F0 first inside SysEx
    std::uint8_t running = 0;
    bool tooLong = false;
    for (const auto b : stream)
    {
        const bool inSysex = ! partial.empty() && partial[0] == 0xF0;
        if (b >= 0xF8)
            out.push_back ({ b });
        else if (b == 0xF7)
        {
            if (inSysex && ! tooLong)
                out.push_back (partial);
            if (inSysex && ! tooLong)
                out.back().push_back (b);
            partial.clear();
        }
        else if (b >= 0x80)
        {
            partial = { b };
            running = b < 0xF0 ? b : 0;
            tooLong = false;
        }
        else if (inSysex)
        {
            tooLong = tooLong || partial.size() + 1 >= MidiStreamParser::maxSysexBytes;   // room is kept for the F7
            if (! tooLong)
                partial.push_back (b);
        }
        else if (! partial.empty() || running != 0)
        {
            if (partial.empty())
                partial = { running };
            partial.push_back (b);
        }
        if (! partial.empty() && partial[0] != 0xF0 && partial.size() == 1 + (size_t) midibytes::dataBytesAfter (partial[0]))
        {
            out.push_back (partial);
            partial.clear();
        }
    }
    return out;
}
} // namespace

int fuzzMidiStreamParser (const std::uint8_t* data, size_t size)
{
    // The input is a list of runs, each a length byte and that many bytes,
    // delivered as the JACK input does: a juce::MidiMessage per completed message.
    FuzzInput input (data, size);
    Message stream;
    std::vector<Message> delivered;
    MidiStreamParser parser;
    while (! input.empty())
    {
        for (const auto byte : input.bytes (255))
        {
            stream.push_back (byte);
            if (! parser.push (byte))
                continue;
            const auto& m = parser.message();
            require (midibytes::isCompleteMessage (m.data(), m.size(), MidiStreamParser::maxSysexBytes),
                     "delivered a message that is not complete, or SysEx beyond the bound");
            const juce::MidiMessage message (m.data(), (int) m.size(), 0.0);
            require (message.getRawDataSize() == (int) m.size() && message.isSysEx() == (m[0] == 0xF0), "JUCE reads the message differently");
            delivered.push_back (m);
        }
    }
    require (delivered == referenceMessages (stream), "the runs changed the messages delivered");
    return 0;
}

// The MIDI byte stream as JACK hands it over: runs of any length, cut
// anywhere. The parser must deliver the same messages however the stream is
// cut, only complete messages, and SysEx only whole and within its bound.

#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "MidiBytes.h"
#include "midi/MidiStreamParser.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

namespace
{
using Message = std::vector<std::uint8_t>;

// The same stream read in one piece, as a list of rules: real-time bytes pass
// at once; F0 opens SysEx, F7 closes it (too long: dropped), any other status
// abandons it; running status carries over channel messages only; a data byte
// with nothing to attach to, and a stray F7, are dropped.
std::vector<Message> referenceMessages (const std::vector<std::uint8_t>& stream)
{
    std::vector<Message> out;
    Message partial;
    std::uint8_t running = 0;
    bool inSysex = false, sysexTooLong = false;

    for (const auto b : stream)
    {
        if (b >= 0xF8)
        {
            out.push_back ({ b });
        }
        else if (b == 0xF0)
        {
            inSysex = true;
            sysexTooLong = false;
            partial = { b };
            running = 0;
        }
        else if (b == 0xF7)
        {
            if (inSysex && ! sysexTooLong)
            {
                partial.push_back (b);
                out.push_back (partial);
            }
            inSysex = false;
            partial.clear();
        }
        else if (b >= 0x80)
        {
            inSysex = false;
            running = b < 0xF0 ? b : 0;
            partial = { b };
            if (midibytes::dataBytesAfter (b) == 0)
            {
                out.push_back (partial);
                partial.clear();
            }
        }
        else if (inSysex)
        {
            // Room is kept for the closing F7.
            if (partial.size() + 1 < MidiStreamParser::maxSysexBytes)
                partial.push_back (b);
            else
                sysexTooLong = true;
        }
        else if (! partial.empty() || running != 0)
        {
            if (partial.empty())
                partial = { running };
            partial.push_back (b);
            if (partial.size() == 1 + (size_t) midibytes::dataBytesAfter (partial[0]))
            {
                out.push_back (partial);
                partial.clear();
            }
        }
    }
    return out;
}
} // namespace

int fuzzMidiStreamParser (const std::uint8_t* data, size_t size)
{
    // The input is a list of runs, each a length byte and that many bytes.
    FuzzInput input (data, size);
    std::vector<std::vector<std::uint8_t>> runs;
    std::vector<std::uint8_t> stream;
    while (! input.empty())
    {
        runs.push_back (input.bytes (255));
        stream.insert (stream.end(), runs.back().begin(), runs.back().end());
    }

    // Delivered as the JACK input does: a juce::MidiMessage per completed message.
    MidiStreamParser parser;
    std::vector<Message> delivered;
    for (const auto& run : runs)
    {
        for (const auto byte : run)
        {
            if (! parser.push (byte))
                continue;
            const auto& m = parser.message();
            fuzzcheck::require (midibytes::isCompleteMessage (m.data(), m.size(), MidiStreamParser::maxSysexBytes),
                                "delivered a message that is not complete, or SysEx beyond the bound");
            const juce::MidiMessage message (m.data(), (int) m.size(), 0.0);
            fuzzcheck::require (message.getRawDataSize() == (int) m.size(), "JUCE sees another length");
            fuzzcheck::require (message.isSysEx() == (m[0] == 0xF0), "JUCE disagrees about SysEx");
            if (! message.isSysEx())
                fuzzcheck::require (juce::MidiMessage::getMessageLengthFromFirstByte (m[0]) == (int) m.size(),
                                    "JUCE expects another length for this status");
            delivered.push_back (m);
        }
    }

    fuzzcheck::require (delivered == referenceMessages (stream), "the runs changed the messages delivered");
    return 0;
}

#pragma once

#include "midi/MidiStreamParser.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>
#include <vector>

// Noise for the machine's MIDI output, as a bad cable or a confused device
// makes it: random bytes, SysEx cut short, left open or far too long, device
// frames whose length field lies, and real-time bytes anywhere, also inside
// SysEx. Each event is one JACK MIDI event.
//
// Whatever a receiver's parser makes of the stream, no message in it is one
// the utility would take for a reply of the machine (which would change what
// it reads back): an event that would complete such a message is drawn again.
class MidiGarbage
{
public:
    enum class Kind
    {
        randomBytes,
        truncatedFrame,      // a reply cut short, then F7
        unterminatedSysex,   // the start of a reply, never ended
        oversizedSysex,      // a reply's start and thousands of data bytes, over many events
        lyingLength,         // a device frame with more or fewer data bytes than it says
        numKinds
    };

    static constexpr int maxEventBytes = 200;
    // Far longer than any SysEx a receiver should keep.
    static constexpr int oversizedDataBytes = 3000;

    explicit MidiGarbage (juce::int64 seed);

    std::vector<juce::uint8> nextEvent();
    // A genuine reply with a real-time byte somewhere inside it, as a busy
    // MIDI line delivers it; it must still be understood.
    std::vector<juce::uint8> sprinkle (const juce::MidiMessage& reply);

    // Events begun of this kind so far.
    int getCount (Kind kind) const { return counts[(size_t) kind]; }

    // True when the utility would take this complete message for a calibration
    // value reply or an identity reply.
    static bool looksLikeReply (const std::vector<juce::uint8>& message);

private:
    std::vector<juce::uint8> makeEvent (Kind& kind);
    std::vector<juce::uint8> replyStart();
    juce::uint8 realTimeByte();
    void sprinkleRealTime (std::vector<juce::uint8>& bytes, int maxBytes);

    juce::Random random;
    // What a receiver has made of the stream so far.
    MidiStreamParser receiver;
    int oversizedLeft = 0;
    std::array<int, (size_t) Kind::numKinds> counts {};
};

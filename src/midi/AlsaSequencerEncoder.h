#pragma once

#include <juce_core/juce_core.h>

#include <alsa/asoundlib.h>

#include <vector>

// Turns the raw bytes of successive outgoing messages into ALSA sequencer
// events without losing any byte, however the caller slices the stream.
//
// The kernel's sequencer-to-rawmidi bridge writes the bytes of a SYSEX event
// as they are, so SysEx bytes go out in SYSEX events: a SysEx begun in one
// message is continued by the next, and each message's bytes leave in its own
// events instead of waiting for the F7. Complete channel and system messages
// (running status included) become their ordinary events, real-time bytes
// their own events wherever they stand. Bytes that form no complete message
// (a stray data byte, a message cut short by a status byte or by the end of
// the call) are also passed in SYSEX events, the one kind the bridge writes
// unchanged.
class AlsaSequencerEncoder
{
public:
    // The size the kernel itself cuts incoming SysEx into; far below a rawmidi
    // port's output buffer, which refuses an event that does not fit whole.
    static constexpr int maxSysexEventBytes = 256;

    AlsaSequencerEncoder();
    ~AlsaSequencerEncoder();

    // The events for one message's bytes, in order; source, destination and
    // scheduling are left to the caller. SYSEX events point into storage of
    // the encoder that stays valid until the next encode.
    const std::vector<snd_seq_event_t>& encode (const juce::uint8* data, int size);

private:
    void handleByte (juce::uint8 byte);
    void startMessage (juce::uint8 status, bool statusImplied);
    void finishMessage();
    void abandonMessage();
    bool encodeComplete (const juce::uint8* bytes, int size, snd_seq_event_t& event);
    void appendVerbatim (juce::uint8 byte);
    void closeVerbatimRun();

    snd_midi_event_t* messageEncoder = nullptr;
    std::vector<snd_seq_event_t> events;
    std::vector<juce::uint8> verbatim;
    size_t verbatimRunStart = 0;

    // 0 inside a SysEx, which may continue over several calls, and wherever
    // no status runs on: data bytes then pass verbatim.
    juce::uint8 runningStatus = 0;
    // Data bytes still expected by a message whose first bytes left verbatim
    // at the end of an earlier call; they follow it verbatim.
    int danglingDataBytes = 0;

    // The channel or system message being collected; its status byte is
    // implied when it runs on running status.
    juce::uint8 message[3] {};
    int messageLength = 0;
    int messageDataBytesMissing = 0;
    bool messageStatusImplied = false;

    JUCE_DECLARE_NON_COPYABLE (AlsaSequencerEncoder)
};

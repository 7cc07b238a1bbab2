#include "AlsaSequencerEncoder.h"

namespace
{
constexpr juce::uint8 sysexStart = 0xF0;
constexpr juce::uint8 sysexEnd = 0xF7;
constexpr juce::uint8 firstRealTime = 0xF8;

int dataBytesFollowing (juce::uint8 status)
{
    switch (status & 0xF0)
    {
        case 0xC0:
        case 0xD0: return 1;
        case 0xF0: break;
        default: return 2;
    }
    switch (status)
    {
        case 0xF1:
        case 0xF3: return 1;
        case 0xF2: return 2;
        default: return 0; // tune request, and the undefined F4 and F5
    }
}
} // namespace

AlsaSequencerEncoder::AlsaSequencerEncoder()
{
    // Only ever fed one complete channel or system message at a time.
    snd_midi_event_new (sizeof (message), &messageEncoder);
}

AlsaSequencerEncoder::~AlsaSequencerEncoder()
{
    snd_midi_event_free (messageEncoder);
}

const std::vector<snd_seq_event_t>& AlsaSequencerEncoder::encode (const juce::uint8* data, int size)
{
    events.clear();
    verbatim.clear();
    // Every input byte is stored at most once, so the events' pointers into
    // this storage are never moved by a reallocation.
    verbatim.reserve ((size_t) juce::jmax (0, size));
    verbatimRunStart = 0;

    for (int i = 0; i < size; ++i)
        handleByte (data[i]);

    // Nothing waits for the next call: a message cut short here leaves as it
    // is, and the data bytes that complete it will follow it verbatim.
    if (messageLength > 0)
    {
        danglingDataBytes = messageDataBytesMissing;
        abandonMessage();
    }
    closeVerbatimRun();
    return events;
}

void AlsaSequencerEncoder::handleByte (juce::uint8 byte)
{
    if (byte >= firstRealTime)
    {
        // Real-time bytes may stand anywhere, even inside a SysEx or another
        // message, and leave at once without disturbing either.
        snd_seq_event_t event;
        if (encodeComplete (&byte, 1, event))
        {
            closeVerbatimRun();
            events.push_back (event);
        }
        else
        {
            appendVerbatim (byte);
        }
        return;
    }

    if (byte < 0x80)
    {
        if (messageLength == 0 && danglingDataBytes == 0 && runningStatus != 0)
            startMessage (runningStatus, true);

        if (messageLength > 0)
        {
            message[messageLength++] = byte;
            if (--messageDataBytesMissing == 0)
                finishMessage();
        }
        else
        {
            danglingDataBytes = juce::jmax (0, danglingDataBytes - 1);
            appendVerbatim (byte);
        }
        return;
    }

    abandonMessage();
    danglingDataBytes = 0;
    // F0 leaves no status to run on, so the data bytes after it, in this call
    // or in later ones, pass verbatim until a status byte ends the SysEx.
    runningStatus = byte < 0xF0 ? byte : 0;
    if (byte == sysexStart || byte == sysexEnd)
    {
        appendVerbatim (byte);
        return;
    }

    startMessage (byte, false);
    if (messageDataBytesMissing == 0)
        finishMessage();
}

void AlsaSequencerEncoder::startMessage (juce::uint8 status, bool statusImplied)
{
    message[0] = status;
    messageLength = 1;
    messageDataBytesMissing = dataBytesFollowing (status);
    messageStatusImplied = statusImplied;
}

void AlsaSequencerEncoder::finishMessage()
{
    snd_seq_event_t event;
    if (! encodeComplete (message, messageLength, event))
    {
        abandonMessage(); // an undefined status: its bytes leave as they are
        return;
    }
    messageLength = 0;
    closeVerbatimRun();
    events.push_back (event);
}

void AlsaSequencerEncoder::abandonMessage()
{
    for (int i = messageStatusImplied ? 1 : 0; i < messageLength; ++i)
        appendVerbatim (message[i]);
    messageLength = 0;
}

bool AlsaSequencerEncoder::encodeComplete (const juce::uint8* bytes, int size, snd_seq_event_t& event)
{
    if (messageEncoder == nullptr)
        return false;
    snd_seq_ev_clear (&event);
    snd_midi_event_reset_encode (messageEncoder);
    const auto used = snd_midi_event_encode (messageEncoder, bytes, size, &event);
    return used == size && event.type != SND_SEQ_EVENT_NONE;
}

void AlsaSequencerEncoder::appendVerbatim (juce::uint8 byte)
{
    if (verbatim.size() - verbatimRunStart >= (size_t) maxSysexEventBytes)
        closeVerbatimRun();
    verbatim.push_back (byte);
}

void AlsaSequencerEncoder::closeVerbatimRun()
{
    if (verbatim.size() == verbatimRunStart)
        return;
    snd_seq_event_t event;
    snd_seq_ev_clear (&event);
    snd_seq_ev_set_sysex (&event, (unsigned int) (verbatim.size() - verbatimRunStart), verbatim.data() + verbatimRunStart);
    verbatimRunStart = verbatim.size();
    events.push_back (event);
}

#include "EmbeddedData.h"
#include "firmware/FirmwareSysexData.h"
#include "midi/AlsaSequencerEncoder.h"
#include "midi/DeviceMessages.h"
#include "midi/MidiStreamParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace
{
using Bytes = std::vector<juce::uint8>;

Bytes bytesOf (const juce::MidiMessage& m)
{
    return { m.getRawData(), m.getRawData() + m.getRawDataSize() };
}

// The update request, then the image's slices, as the firmware sender hands
// them to the output.
std::vector<Bytes> firmwareStream()
{
    const auto header = bytesOf (DeviceMessages::firmwareUpdateRequest());
    const FirmwareSysexData data (juce::Array<juce::uint8> (header.data(), (int) header.size()),
                                  juce::Array<juce::uint8> (reinterpret_cast<const juce::uint8*> (EmbeddedData::firmwareImageContainer), 113134),
                                  64, 10, "Out", "Audio Application Firmware");
    std::vector<Bytes> messages { header };
    for (juce::uint32 i = 0; i < data.getNumPackets(); ++i)
    {
        const auto slice = data.getPacket (i);
        messages.emplace_back (slice.begin(), slice.end());
    }
    return messages;
}

// What the kernel's sequencer-to-rawmidi bridge writes for events: a SYSEX
// event's bytes as they are, anything else through the decoder, whose running
// status a SYSEX event resets.
struct KernelBridge
{
    KernelBridge() { snd_midi_event_new (16, &decoder); }
    ~KernelBridge() { snd_midi_event_free (decoder); }

    void write (const snd_seq_event_t& event, Bytes& wire)
    {
        if (event.type == SND_SEQ_EVENT_SYSEX)
        {
            const auto* data = static_cast<const juce::uint8*> (event.data.ext.ptr);
            wire.insert (wire.end(), data, data + event.data.ext.len);
            snd_midi_event_reset_decode (decoder);
            return;
        }
        unsigned char buffer[16];
        const auto n = snd_midi_event_decode (decoder, buffer, sizeof (buffer), &event);
        if (n > 0)
            wire.insert (wire.end(), buffer, buffer + n);
    }

    snd_midi_event_t* decoder = nullptr;
};

struct Case
{
    const char* name;
    std::function<std::vector<Bytes>()> messages;
    std::vector<int> eventTypes; // empty: not checked
};

const int sysex = SND_SEQ_EVENT_SYSEX;

const Case cases[] = {
    { "firmware stream as the sender slices it", firmwareStream, {} },
    { "note-on, then note-off", [] { return std::vector<Bytes> { bytesOf (DeviceMessages::noteOn (24)), bytesOf (DeviceMessages::noteOff (24)) }; },
      { SND_SEQ_EVENT_NOTEON, SND_SEQ_EVENT_NOTEOFF } },
    { "clock byte inside a SysEx that spans two messages",
      [] { return std::vector<Bytes> { { 0xF0, 0x47, 0x00 }, { 0x2A, 0xF8, 0x24, 0x00, 0xF7 } }; },
      { sysex, sysex, SND_SEQ_EVENT_CLOCK, sysex } },
    { "calibration value writes",
      [] {
          std::vector<Bytes> writes;
          for (int note = 24; note <= 63; ++note)
              writes.push_back (bytesOf (DeviceMessages::calibrationValueWrite (note, (juce::uint16) (0x1234 + note * 77))));
          return writes;
      },
      std::vector<int> (40, sysex) },
    { "running status carried into the next message",
      [] { return std::vector<Bytes> { { 0x90, 0x3C, 0x7F }, { 0x3D, 0x7F } }; },
      { SND_SEQ_EVENT_NOTEON, SND_SEQ_EVENT_NOTEON } },
    { "whole image as one message",
      [] { return std::vector<Bytes> { Bytes (reinterpret_cast<const juce::uint8*> (EmbeddedData::firmwareImageContainer),
                                              reinterpret_cast<const juce::uint8*> (EmbeddedData::firmwareImageContainer) + 113134) }; },
      {} },
};
} // namespace

TEST (AlsaSequencerEncoder, EveryMessageArrivesByteForByteInItsOwnEvents)
{
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        AlsaSequencerEncoder encoder;
        KernelBridge bridge;
        std::vector<int> types;
        const auto messages = c.messages();
        for (size_t m = 0; m < messages.size(); ++m)
        {
            Bytes wire;
            for (const auto& event : encoder.encode (messages[m].data(), (int) messages[m].size()))
            {
                types.push_back (event.type);
                if (event.type == SND_SEQ_EVENT_SYSEX)
                {
                    ASSERT_LE (event.data.ext.len, (unsigned int) AlsaSequencerEncoder::maxSysexEventBytes);
                }
                bridge.write (event, wire);
            }
            ASSERT_EQ (wire, messages[m]) << "message " << m;
        }
        if (! c.eventTypes.empty())
        {
            EXPECT_EQ (types, c.eventTypes);
        }
    }
}

TEST (AlsaSequencerEncoder, MessageCutBetweenCallsLeavesWithEachAndStillMeansTheSame)
{
    AlsaSequencerEncoder encoder;
    KernelBridge bridge;
    MidiStreamParser parser;
    std::vector<Bytes> received;
    for (const Bytes& message : { Bytes { 0x90, 0x3C }, Bytes { 0x7F, 0x3D, 0x7F } })
    {
        Bytes wire;
        for (const auto& event : encoder.encode (message.data(), (int) message.size()))
            bridge.write (event, wire);
        EXPECT_FALSE (wire.empty());
        for (auto byte : wire)
            if (parser.push (byte))
                received.push_back (parser.message());
    }
    EXPECT_EQ (received, (std::vector<Bytes> { { 0x90, 0x3C, 0x7F }, { 0x90, 0x3D, 0x7F } }));
}

// Why the output exists: JUCE 7.0.5's ALSA output encodes each message on its
// own and resets the encoder after it, so a slice without its F7 is dropped
// and the slices after it are parsed as running-status garbage.
TEST (AlsaSequencerEncoder, JuceEncodingPerMessageLosesTheFirmwareImage)
{
    snd_midi_event_t* juceEncoder = nullptr;
    ASSERT_EQ (snd_midi_event_new (4096, &juceEncoder), 0);
    KernelBridge bridge;
    Bytes wire;
    for (const auto& message : firmwareStream())
    {
        const auto* data = message.data();
        auto remaining = (long) message.size();
        while (remaining > 0)
        {
            snd_seq_event_t event;
            snd_seq_ev_clear (&event);
            const auto used = snd_midi_event_encode (juceEncoder, data, remaining, &event);
            if (used <= 0)
                break;
            data += used;
            remaining -= used;
            bridge.write (event, wire);
        }
        snd_midi_event_reset_encode (juceEncoder);
    }
    snd_midi_event_free (juceEncoder);

    const Bytes image (reinterpret_cast<const juce::uint8*> (EmbeddedData::firmwareImageContainer),
                       reinterpret_cast<const juce::uint8*> (EmbeddedData::firmwareImageContainer) + 113134);
    const Bytes firmwareDataMessage (image.begin() + 20, image.end());
    EXPECT_EQ (std::search (wire.begin(), wire.end(), firmwareDataMessage.begin(), firmwareDataMessage.end()), wire.end());
}

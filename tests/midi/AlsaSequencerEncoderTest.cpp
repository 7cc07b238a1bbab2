#include "EmbeddedData.h"
#include "firmware/FirmwareSysexData.h"
#include "midi/AlsaMessageSender.h"
#include "midi/AlsaSequencerEncoder.h"
#include "midi/DeviceMessages.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

namespace
{
// What the kernel's sequencer-to-rawmidi bridge writes for events: a SYSEX
// event's bytes as they are, anything else through the decoder, whose running
// status a SYSEX event resets.
struct KernelBridge
{
    KernelBridge() { snd_midi_event_new (16, &decoder); }
    ~KernelBridge() { snd_midi_event_free (decoder); }

    void write (const snd_seq_event_t& event, Bytes& wire)
    {
        unsigned char buffer[16];
        const auto* data = event.type == SND_SEQ_EVENT_SYSEX ? static_cast<const juce::uint8*> (event.data.ext.ptr) : buffer;
        const auto n = event.type == SND_SEQ_EVENT_SYSEX ? (long) event.data.ext.len : snd_midi_event_decode (decoder, buffer, sizeof (buffer), &event);
        wire.insert (wire.end(), data, data + std::max (0L, n));
        if (event.type == SND_SEQ_EVENT_SYSEX)
            snd_midi_event_reset_decode (decoder);
    }

    snd_midi_event_t* decoder = nullptr;
};

// The update request, then the image's slices, as the firmware sender hands them to the output.
std::vector<Bytes> firmwareMessages()
{
    const Bytes image (EmbeddedData::firmwareImageContainer, EmbeddedData::firmwareImageContainer + 113134);
    std::vector<Bytes> firmware { bytesOf (DeviceMessages::firmwareUpdateRequest()) };
    const FirmwareSysexData data ({ firmware[0].data(), (int) firmware[0].size() }, { image.data(), (int) image.size() }, 64, 10, "Out", "Audio Application Firmware");
    for (juce::uint32 i = 0; i < data.getNumPackets(); ++i)
    {
        const auto slice = data.getPacket (i);
        firmware.emplace_back (slice.begin(), slice.end());
    }
    return firmware;
}
} // namespace

TEST (AlsaSequencerEncoder, EveryMessageArrivesByteForByteInItsOwnEvents)
{
    const auto firmware = firmwareMessages();
    const Bytes image (EmbeddedData::firmwareImageContainer, EmbeddedData::firmwareImageContainer + 113134);

    constexpr int sysex = SND_SEQ_EVENT_SYSEX, noteOn = SND_SEQ_EVENT_NOTEON;
    const struct
    {
        const char* name;
        std::vector<Bytes> messages;
        std::vector<int> eventTypes; // empty: not checked
        std::vector<Bytes> wire {};  // empty: each message's own bytes
    } cases[] = {
        { "firmware stream as the sender slices it", firmware, {} },
        { "whole image as one message", { image }, {} },
        { "calibration write, note-on, note-off", { bytesOf (DeviceMessages::calibrationValueWrite (40, 0x1234)), bytesOf (DeviceMessages::noteOn (24)), bytesOf (DeviceMessages::noteOff (24)) },
          { sysex, noteOn, SND_SEQ_EVENT_NOTEOFF } },
        { "clock byte inside a SysEx that spans two messages", { { 0xF0, 0x47, 0x00 }, { 0x2A, 0xF8, 0x24, 0x00, 0xF7 } }, { sysex, sysex, SND_SEQ_EVENT_CLOCK, sysex } },
        { "running status carried into the next message", { { 0x90, 0x3C, 0x7F }, { 0x3D, 0x7F } }, { noteOn, noteOn } },
        // Each call's bytes leave with it: the cut note-on as it is, the note
        // after its missing byte complete again.
        { "note-on cut between messages", { { 0x90, 0x3C }, { 0x7F, 0x3D, 0x7F } }, { sysex, sysex, noteOn }, { { 0x90, 0x3C }, { 0x7F, 0x90, 0x3D, 0x7F } } },
        { "note-on status alone, its data bytes in the next message", { { 0x90 }, { 0x3C, 0x7F }, { 0x3D, 0x7F } }, { sysex, sysex, noteOn },
          { { 0x90 }, { 0x3C, 0x7F }, { 0x90, 0x3D, 0x7F } } },
        { "messages of one and two data bytes", { { 0xC0, 0x05, 0xF2, 0x01, 0x02, 0xF3, 0x03, 0xD0, 0x10 } },
          { SND_SEQ_EVENT_PGMCHANGE, SND_SEQ_EVENT_SONGPOS, SND_SEQ_EVENT_SONGSEL, SND_SEQ_EVENT_CHANPRESS } },
        // The encoder takes them but makes no event of them: raw bytes.
        { "undefined statuses, common and real-time", { { 0xF4, 0xF9, 0xF5, 0xFD } }, { sysex } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        AlsaSequencerEncoder encoder;
        KernelBridge bridge;
        std::vector<int> types;
        for (size_t m = 0; m < c.messages.size(); ++m)
        {
            Bytes wire;
            for (const auto& event : encoder.encode (c.messages[m].data(), (int) c.messages[m].size()))
            {
                types.push_back (event.type);
                ASSERT_LE (event.type == sysex ? event.data.ext.len : 0, (unsigned int) AlsaSequencerEncoder::maxSysexEventBytes);
                bridge.write (event, wire);
            }
            ASSERT_EQ (wire, c.wire.empty() ? c.messages[m] : c.wire[m]) << "message " << m;
        }
        EXPECT_TRUE (c.eventTypes.empty() || types == c.eventTypes) << ::testing::PrintToString (types);
    }
}

// The output's buffer full now and then, part-way through a message: sent
// again, the message goes on where it stopped and no byte arrives twice.
TEST (AlsaMessageSender, AMessageRefusedPartWayGoesOnFromTheRefusedEvent)
{
    auto messages = firmwareMessages();
    messages.resize (40);
    messages.push_back ({ EmbeddedData::firmwareImageContainer, EmbeddedData::firmwareImageContainer + 3000 });   // several events
    messages.push_back (bytesOf (DeviceMessages::noteOn (24)));
    KernelBridge bridge;
    Bytes wire, expected;
    int calls = 0, refusals = 0;
    AlsaMessageSender sender ([&] (snd_seq_event_t& event) {
        if (++calls % 3 == 0)
            return ++refusals, false;
        bridge.write (event, wire);
        return true;
    });
    for (const auto& message : messages)
    {
        int attempts = 0;
        while (! sender.send (message.data(), (int) message.size()))
            ASSERT_LT (++attempts, 100);
        expected.insert (expected.end(), message.begin(), message.end());
    }
    EXPECT_GT (refusals, 20);
    EXPECT_EQ (wire, expected);
}

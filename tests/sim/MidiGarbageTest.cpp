#include "sim/control/MidiGarbage.h"

#include "midi/DeviceMessages.h"
#include "midi/MidiStreamParser.h"

#include <gtest/gtest.h>

// The noise goes to the utility's MIDI input mixed with the machine's genuine
// replies. Parsed as the utility parses its input, the genuine replies must
// all come through, and nothing else may pass for a reply.
TEST (MidiGarbage, NothingButTheGenuineRepliesPassesForAReply)
{
    MidiGarbage garbage (7);
    juce::Random random (11);
    MidiStreamParser receiver;
    std::vector<std::vector<juce::uint8>> genuine, recognised;
    int realTimeInsideSysex = 0, longestEvent = 0;
    bool inSysex = false;
    for (int i = 0; i < 30000; ++i)
    {
        std::vector<juce::uint8> event;
        if (random.nextInt (10) != 0)
            event = garbage.nextEvent();
        else
        {
            const auto reply = random.nextBool() ? DeviceMessages::calibrationValueReply (24 + random.nextInt (40), (juce::uint16) random.nextInt (0x10000))
                                                 : DeviceMessages::identityReply (0, 1, 0, 5);
            genuine.emplace_back (reply.getRawData(), reply.getRawData() + reply.getRawDataSize());
            event = garbage.sprinkle (reply);
            ASSERT_EQ (event.size(), genuine.back().size() + 1);
        }
        ASSERT_TRUE (! event.empty() && (int) event.size() <= MidiGarbage::maxEventBytes);
        longestEvent = juce::jmax (longestEvent, (int) event.size());
        for (auto byte : event)
        {
            realTimeInsideSysex += inSysex && byte >= 0xF8 ? 1 : 0;
            inSysex = byte == 0xF0 || (inSysex && (byte < 0x80 || byte >= 0xF8));
            if (receiver.push (byte) && MidiGarbage::looksLikeReply (receiver.message()))
                recognised.push_back (receiver.message());
        }
    }
    EXPECT_EQ (recognised, genuine);
    for (int kind = 0; kind < (int) MidiGarbage::Kind::numKinds; ++kind)
        EXPECT_GT (garbage.getCount ((MidiGarbage::Kind) kind), 300) << "kind " << kind;
    EXPECT_GT (realTimeInsideSysex, 1000);
    EXPECT_GT (longestEvent, 100);
}

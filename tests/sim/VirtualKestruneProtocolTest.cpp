#include "midi/DeviceMessages.h"
#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"

#include <gtest/gtest.h>

namespace
{
using Bytes = std::vector<juce::uint8>;

struct Machine
{
    explicit Machine (VirtualKestrune::Options options = {}) : machine (options, clock)
    {
        machine.setLogSink ([this] (const juce::String& line) { log.add (line); });
    }
    std::vector<juce::MidiMessage> send (const juce::MidiMessage& m) { return machine.receive (m); }
    std::vector<juce::MidiMessage> send (const Bytes& b) { return machine.receive (b.data(), (int) b.size()); }
    int valueOf (int note)
    {
        const auto replies = send (DeviceMessages::calibrationValueRequest (note));
        const auto reply = replies.size() == 1 ? DeviceMessages::parseCalibrationValueReply (replies[0]) : std::nullopt;
        return reply && reply->note == note ? reply->value : -1;
    }

    SimulatedClock clock;
    VirtualKestrune machine;
    juce::StringArray log;
};
} // namespace

TEST (SimProtocol, NotesTwentyFourToSixtyThreeAnswerWithWhatTheyHoldAndOnlyACommitStoresIt)
{
    Machine m;
    for (int note = 24; note <= 63; ++note)
        EXPECT_EQ (m.valueOf (note), FactoryCalibration::valueForNote (note)) << note;
    for (int note : { 0, 23, 64 })
        EXPECT_EQ (m.valueOf (note), -1) << note;
    EXPECT_TRUE (m.log.contains ("NOREPLY 64"));

    m.machine.dropNextReplies (2);
    EXPECT_EQ (m.send (DeviceMessages::identityRequest()).size(), 1u) << "only calibration replies are dropped";
    EXPECT_EQ (m.valueOf (24) + m.valueOf (25), -2);
    EXPECT_EQ (m.valueOf (26), FactoryCalibration::valueForNote (26));

    m.send (DeviceMessages::calibrationValueWrite (40, 0x1234));
    m.machine.dropNextWrites (1);
    m.send (DeviceMessages::calibrationValueWrite (40, 0x4321));
    EXPECT_EQ (m.valueOf (40), 0x1234);
    EXPECT_EQ (m.machine.getStoredValue (40), FactoryCalibration::valueForNote (40));
    std::optional<MachineState> committed;
    m.machine.setStateSink ([&] (const MachineState& s) { committed = s; });
    m.send (DeviceMessages::calibrationCommit());
    ASSERT_TRUE (committed.has_value());
    EXPECT_EQ (committed->valueForNote (40), 0x1234);

    // The nibbles' low bits only; lost at a restart unless committed.
    m.send (Bytes { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x05, 0x1F, 0x1F, 0x7A, 0x03, 0x04, 0xF7 });
    EXPECT_EQ (m.valueOf (31), 0xFA34);
    m.machine.restart();
    EXPECT_EQ (m.valueOf (31), FactoryCalibration::valueForNote (31));
    VirtualKestrune::Options options;
    options.initialState = m.machine.getStoredState();
    EXPECT_EQ (Machine (options).valueOf (40), 0x1234);

    m.machine.setAnswerAllNotes (true);
    EXPECT_EQ (m.valueOf (64), 0);
}

TEST (SimProtocol, MessagesAreReassembledAcrossRunsAndForeignOrMalformedOnesIgnored)
{
    Machine m;
    const auto request = DeviceMessages::calibrationValueRequest (33);
    EXPECT_TRUE (m.machine.receive (request.getRawData(), 3).empty());
    EXPECT_EQ (m.machine.receive (request.getRawData() + 3, request.getRawDataSize() - 3).size(), 1u);
    // Two messages in one run, with a clock byte inside the first.
    EXPECT_EQ (m.send (Bytes { 0xF0, 0x7E, 0x00, 0xF8, 0x06, 0x01, 0xF7, 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x01, 0x22, 0xF7 }).size(), 2u);

    for (const auto& b : { Bytes { 0xF0, 0x41, 0x00, 0x2A, 0x24, 0x00, 0x01, 0x18, 0xF7 },   // other maker
                           Bytes { 0xF0, 0x47, 0x00, 0x2B, 0x24, 0x00, 0x01, 0x18, 0xF7 },   // other model
                           Bytes { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x02, 0x18, 0xF7 },   // length lies
                           Bytes { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x05, 0x18, 0x01, 0x02, 0x03, 0xF7 },
                           Bytes { 0xF0, 0x7E, 0x00, 0x06, 0x02, 0xF7 },
                           Bytes { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x01, 0x90, 0x18, 0x7F } })   // cut by a note-on
        EXPECT_TRUE (m.send (b).empty());
    for (int note = 24; note <= 63; ++note)
        EXPECT_EQ (m.machine.getWorkingValue (note), FactoryCalibration::valueForNote (note));
    EXPECT_EQ (m.machine.getSoundingNote(), 24);
    // Each run received and each reply sent is logged as it went over the wire.
    EXPECT_EQ (m.log.joinIntoString ("|", 0, 3), "RX F0 47 00|RX 2A 24 00 01 21 F7|TX F0 47 00 2A 24 00 05 21 0E 04 07 08 F7");
}

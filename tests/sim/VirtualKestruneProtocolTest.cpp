#include "midi/DeviceMessages.h"
#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"

#include <gtest/gtest.h>

namespace
{
using Bytes = std::vector<juce::uint8>;

Bytes bytesOf (const juce::MidiMessage& m)
{
    return { m.getRawData(), m.getRawData() + m.getRawDataSize() };
}

struct Machine
{
    explicit Machine (VirtualKestrune::Options options = {}) : machine (options, clock)
    {
        machine.setLogSink ([this] (const juce::String& line) { log.add (line); });
    }

    std::vector<juce::MidiMessage> send (const juce::MidiMessage& m) { return machine.receive (m); }
    std::vector<juce::MidiMessage> send (const Bytes& b) { return machine.receive (b.data(), (int) b.size()); }

    std::optional<DeviceMessages::CalibrationValue> request (int note)
    {
        const auto replies = send (DeviceMessages::calibrationValueRequest (note));
        if (replies.size() != 1)
            return std::nullopt;
        return DeviceMessages::parseCalibrationValueReply (replies[0]);
    }

    SimulatedClock clock;
    VirtualKestrune machine;
    juce::StringArray log;
};

VirtualKestrune::Options withVersion (const juce::String& version)
{
    VirtualKestrune::Options options;
    options.firmwareVersion = version;
    return options;
}
} // namespace

TEST (SimProtocol, IdentityRequestGetsTheReplyTheUtilityParses)
{
    Machine m (withVersion ("1.05"));
    const auto replies = m.send (DeviceMessages::identityRequest());
    ASSERT_EQ (replies.size(), 1u);

    const auto reply = bytesOf (replies[0]);
    ASSERT_EQ (reply.size(), 35u);
    EXPECT_EQ (reply[0], 0xF0);
    EXPECT_EQ (reply[3], 0x06);
    EXPECT_EQ (reply[4], 0x02);
    EXPECT_EQ (reply[5], 0x47);
    EXPECT_EQ (reply[6], 0x2A);
    EXPECT_EQ (Bytes (reply.begin() + 9, reply.begin() + 13), (Bytes { 0x00, 0x01, 0x00, 0x05 }));
    EXPECT_EQ (reply[34], 0xF7);
    EXPECT_DOUBLE_EQ (*DeviceMessages::parseIdentityReplyVersion (replies[0]), 1.05);

    Machine old (withVersion ("0.98"));
    EXPECT_DOUBLE_EQ (*DeviceMessages::parseIdentityReplyVersion (old.send (DeviceMessages::identityRequest())[0]), 0.98);
    Machine two (withVersion ("12.5"));
    EXPECT_DOUBLE_EQ (*DeviceMessages::parseIdentityReplyVersion (two.send (DeviceMessages::identityRequest())[0]), 12.5);
}

TEST (SimProtocol, VersionDigitsAcceptOnlyShortDecimalVersions)
{
    std::array<juce::uint8, 4> digits {};
    EXPECT_TRUE (VirtualKestrune::versionDigits ("1.0", digits));
    EXPECT_EQ (digits, (std::array<juce::uint8, 4> { 0, 1, 0, 0 }));
    for (auto bad : { "", "1", "1.", ".5", "1.005", "123.4", "a.b", "1.-5", "1,05" })
        EXPECT_FALSE (VirtualKestrune::versionDigits (bad, digits)) << bad;
}

TEST (SimProtocol, EachRequestForNotes24To63GetsOneReplyWithTheFactoryValue)
{
    Machine m;
    const auto replies = m.send (DeviceMessages::calibrationValueRequest (24));
    ASSERT_EQ (replies.size(), 1u);
    // 64821 = 0xFD35
    EXPECT_EQ (bytesOf (replies[0]), (Bytes { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x05, 0x18, 0x0F, 0x0D, 0x03, 0x05, 0xF7 }));

    for (int note = 24; note <= 63; ++note)
    {
        const auto reply = m.request (note);
        ASSERT_TRUE (reply.has_value()) << note;
        EXPECT_EQ (reply->note, note);
        EXPECT_EQ (reply->value, FactoryCalibration::valueForNote (note));
    }
}

TEST (SimProtocol, RequestsForOtherNotesGoUnansweredUnlessAskedTo)
{
    Machine m;
    EXPECT_TRUE (m.send (DeviceMessages::calibrationValueRequest (64)).empty());
    EXPECT_TRUE (m.send (DeviceMessages::calibrationValueRequest (23)).empty());
    EXPECT_TRUE (m.send (DeviceMessages::calibrationValueRequest (0)).empty());
    EXPECT_TRUE (m.log.contains ("NOREPLY 64"));

    m.machine.setAnswerAllNotes (true);
    const auto reply = m.request (64);
    ASSERT_TRUE (reply.has_value());
    EXPECT_EQ (reply->note, 64);
    EXPECT_EQ (reply->value, 0);
}

TEST (SimProtocol, TheUtilitysStartOfCalibrationGetsExactlyFortyReplies)
{
    Machine m;
    int replies = 0;
    for (int note = 24; note <= 64; ++note)
        replies += (int) m.send (DeviceMessages::calibrationValueRequest (note)).size();
    EXPECT_EQ (replies, 40);
}

TEST (SimProtocol, DroppedRepliesAreCalibrationRepliesOnly)
{
    Machine m;
    m.machine.dropNextReplies (2);
    EXPECT_EQ (m.send (DeviceMessages::identityRequest()).size(), 1u);
    EXPECT_TRUE (m.send (DeviceMessages::calibrationValueRequest (24)).empty());
    EXPECT_TRUE (m.send (DeviceMessages::calibrationValueRequest (25)).empty());
    EXPECT_EQ (m.send (DeviceMessages::calibrationValueRequest (26)).size(), 1u);
    juce::StringArray drops;
    for (const auto& line : m.log)
        if (line.startsWith ("DROP F0"))
            drops.add (line);
    ASSERT_EQ (drops.size(), 2);
    EXPECT_TRUE (drops[0].startsWith ("DROP F0 47 00 2A 24 00 05 18"));
    EXPECT_TRUE (drops[1].startsWith ("DROP F0 47 00 2A 24 00 05 19"));
}

TEST (SimProtocol, WritesChangeTheWorkingValueAndOnlyACommitStoresThem)
{
    Machine m;
    m.send (DeviceMessages::calibrationValueWrite (40, 0x1234));
    EXPECT_EQ (m.machine.getWorkingValue (40), 0x1234);
    EXPECT_EQ (m.machine.getStoredValue (40), FactoryCalibration::valueForNote (40));
    EXPECT_EQ (m.request (40)->value, 0x1234) << "a request reads the value the note holds now";

    // A write lost on the way changes nothing.
    m.machine.dropNextWrites (1);
    m.send (DeviceMessages::calibrationValueWrite (40, 0x4321));
    EXPECT_EQ (m.request (40)->value, 0x1234);

    std::optional<MachineState> committed;
    m.machine.setStateSink ([&] (const MachineState& s) { committed = s; });
    m.send (DeviceMessages::calibrationCommit());
    EXPECT_EQ (m.machine.getStoredValue (40), 0x1234);
    EXPECT_EQ (m.request (40)->value, 0x1234);
    ASSERT_TRUE (committed.has_value());
    EXPECT_EQ (committed->valueForNote (40), 0x1234);
    EXPECT_TRUE (m.log.contains ("STATE commit"));
}

TEST (SimProtocol, StoredTableSurvivesARestartAndUncommittedWritesDoNot)
{
    Machine m;
    m.send (DeviceMessages::calibrationValueWrite (30, 1111));
    m.send (DeviceMessages::calibrationCommit());
    m.send (DeviceMessages::calibrationValueWrite (31, 2222));

    // Power cycle of the same machine.
    m.machine.restart();
    EXPECT_EQ (m.machine.getWorkingValue (30), 1111);
    EXPECT_EQ (m.machine.getWorkingValue (31), FactoryCalibration::valueForNote (31));

    // A new machine started from what the first one stored.
    VirtualKestrune::Options options;
    options.initialState = m.machine.getStoredState();
    Machine next (options);
    EXPECT_EQ (next.request (30)->value, 1111);
    EXPECT_EQ (next.request (31)->value, FactoryCalibration::valueForNote (31));
}

TEST (SimProtocol, WriteValueNibblesAreTakenFromTheirLowBits)
{
    Machine m;
    m.send (Bytes { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x05, 0x18, 0x1F, 0x7A, 0x03, 0x04, 0xF7 });
    EXPECT_EQ (m.machine.getWorkingValue (24), 0xFA34);
}

TEST (SimProtocol, MessagesSplitAcrossRunsAreReassembled)
{
    Machine m;
    const auto request = bytesOf (DeviceMessages::calibrationValueRequest (33));
    EXPECT_TRUE (m.send (Bytes (request.begin(), request.begin() + 3)).empty());
    const auto replies = m.send (Bytes (request.begin() + 3, request.end()));
    ASSERT_EQ (replies.size(), 1u);
    EXPECT_EQ (DeviceMessages::parseCalibrationValueReply (replies[0])->note, 33);

    // Two messages in one run, with a clock byte in the middle of the first.
    Bytes both { 0xF0, 0x7E, 0x00, 0xF8, 0x06, 0x01, 0xF7 };
    const auto second = bytesOf (DeviceMessages::calibrationValueRequest (34));
    both.insert (both.end(), second.begin(), second.end());
    EXPECT_EQ (m.send (both).size(), 2u);
}

TEST (SimProtocol, ForeignAndMalformedMessagesAreIgnored)
{
    Machine m;
    const Bytes ignored[] = {
        { 0xF0, 0x41, 0x00, 0x2A, 0x24, 0x00, 0x01, 0x18, 0xF7 },                           // other maker
        { 0xF0, 0x47, 0x00, 0x2B, 0x24, 0x00, 0x01, 0x18, 0xF7 },                           // other model
        { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x02, 0x18, 0xF7 },                           // length lies
        { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x05, 0x18, 0x01, 0x02, 0x03, 0xF7 },         // short write
        { 0xF0, 0x7E, 0x00, 0x06, 0x02, 0xF7 },                                             // not a request
        { 0xF0, 0x47, 0x00, 0x2A, 0x24, 0x00, 0x01, 0x90, 0x18, 0x7F },                     // SysEx cut by a status byte
    };
    for (const auto& b : ignored)
        EXPECT_TRUE (m.send (b).empty());
    for (int note = 24; note <= 63; ++note)
        EXPECT_EQ (m.machine.getWorkingValue (note), FactoryCalibration::valueForNote (note));
    // The note-on that cut the SysEx short is a note-on all the same.
    EXPECT_EQ (m.machine.getSoundingNote(), 24);
}

TEST (SimProtocol, TheBassVoiceFollowsNotesOnChannelOneAndTheirWorkingValues)
{
    Machine m;
    EXPECT_EQ (m.machine.getSoundingNote(), -1);

    m.send (DeviceMessages::noteOn (24));
    EXPECT_EQ (m.machine.getSoundingNote(), 24);
    EXPECT_NEAR (m.machine.getSoundingFrequency(), 32.7032, 0.001);

    m.send (DeviceMessages::calibrationValueWrite (24, 0xFFFF));
    const auto lowest = m.machine.getSoundingFrequency();
    EXPECT_GT (lowest, 20.0);
    EXPECT_LT (lowest, 32.70);

    m.send (DeviceMessages::noteOn (40));
    EXPECT_NEAR (m.machine.getSoundingFrequency(), PitchCurve::targetFrequency (40), 0.001);
    m.send (DeviceMessages::noteOff (24));   // not the sounding note
    EXPECT_EQ (m.machine.getSoundingNote(), 40);
    m.send (DeviceMessages::noteOff (40));
    EXPECT_EQ (m.machine.getSoundingNote(), -1);

    m.send (juce::MidiMessage::noteOn (2, 24, (juce::uint8) 100));
    EXPECT_EQ (m.machine.getSoundingNote(), -1);
    m.send (juce::MidiMessage::noteOn (1, 70, (juce::uint8) 100));
    EXPECT_EQ (m.machine.getSoundingNote(), -1);

    m.send (DeviceMessages::noteOn (30));
    m.send (juce::MidiMessage::noteOn (1, 30, (juce::uint8) 0));   // velocity 0 is a note-off
    EXPECT_EQ (m.machine.getSoundingNote(), -1);
}

TEST (SimProtocol, TheKnobShiftsThePitchBySemitonesWithinItsRange)
{
    Machine m;
    m.send (DeviceMessages::noteOn (36));
    const auto centre = m.machine.getSoundingFrequency();
    m.machine.setKnob (12.0);
    EXPECT_NEAR (m.machine.getSoundingFrequency(), 2.0 * centre, 1e-9);
    m.machine.setKnob (-7.0);
    EXPECT_NEAR (m.machine.getSoundingFrequency(), centre * std::exp2 (-7.0 / 12.0), 1e-9);
    m.machine.setKnob (30.0);
    EXPECT_DOUBLE_EQ (m.machine.getKnob(), PitchCurve::maxKnobSemitones);
    m.machine.setKnob (std::nan (""));
    EXPECT_DOUBLE_EQ (m.machine.getKnob(), 0.0);
}

TEST (SimProtocol, EverythingReceivedAndSentIsLogged)
{
    Machine m;
    m.send (DeviceMessages::identityRequest());
    m.send (DeviceMessages::calibrationValueWrite (24, 0xFFFF));
    ASSERT_GE (m.log.size(), 3);
    EXPECT_EQ (m.log[0], "RX F0 7E 00 06 01 F7");
    EXPECT_TRUE (m.log[1].startsWith ("TX F0 7E 00 06 02 47 2A"));
    EXPECT_EQ (m.log[2], "RX F0 47 00 2A 24 00 05 18 0F 0F 0F 0F F7");
    EXPECT_TRUE (m.log[3].startsWith ("VALUE 24 65535 hz="));
}

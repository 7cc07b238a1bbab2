#include "midi/DeviceMessages.h"
#include "sim/model/SimulatedClock.h"
#include "support/FakeMidiPortSystem.h"
#include "tuning/CalibrationWriter.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace
{
// Records every pause with the number of messages sent before it.
struct PauseRecordingClock : SimulatedClock
{
    void pause (int ms) override
    {
        pauses.push_back ({ ports->allSent().size(), ms });
        advanceMs (ms);
    }

    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    std::vector<std::pair<size_t, int>> pauses;
};

struct CalibrationWriterTest : ::testing::Test
{
    CalibrationWriterTest() { clock.ports->plugOutput ("out"), midi->openOutputDevice ("out"); }

    PauseRecordingClock clock;
    MidiManager::Ptr midi = new MidiManager (clock.ports, clock);
    CalibrationWriter writer { midi, clock };
};

bool isWrite (const juce::MidiMessage& m) { return m.getRawDataSize() == 13; }
std::vector<juce::uint8> bytesOf (const juce::MidiMessage& m) { return { m.getRawData(), m.getRawData() + m.getRawDataSize() }; }
} // namespace

TEST_F (CalibrationWriterTest, PacedMessagesKeepTheirSpacingButNeverHoldTheCallerLong)
{
    CalibrationWriter::Values values;
    for (int note = 24; note <= 63; ++note)
        values[(size_t) note] = (juce::uint16) (60000 - note);
    // The start, then ticks, until the 40 writes and 40 requests are out.
    ASSERT_TRUE (writer.start (values, {}));
    int calls = 1;
    for (size_t callStart = 0; calls <= 40; ++calls, writer.tick())
    {
        SCOPED_TRACE ("call " + std::to_string (calls));
        const auto sent = clock.ports->allSent();
        // Between two messages of one call lies exactly one pause, after a
        // write longer than after a request; a call pauses 15 ms at most.
        ASSERT_EQ (clock.pauses.size() + 1, sent.size() - callStart);
        int pausedInCall = 0;
        for (const auto& [sentBefore, ms] : clock.pauses)
        {
            EXPECT_EQ (ms, isWrite (sent[sentBefore - 1]) ? CalibrationWriter::writePauseMs : CalibrationWriter::requestPauseMs);
            pausedInCall += ms;
        }
        EXPECT_LE (pausedInCall, CalibrationWriter::maxPausePerCallMs);
        clock.pauses.clear();
        if ((callStart = sent.size()) == 80)
            break;
    }
    EXPECT_GT (calls, 4) << "the paced messages went out in too few calls";
    const auto sent = clock.ports->allSent();
    ASSERT_EQ (sent.size(), 80u);
    for (int note = 24; note <= 63; ++note)
    {
        EXPECT_EQ (bytesOf (sent[(size_t) note - 24]), bytesOf (DeviceMessages::calibrationValueWrite (note, *values[(size_t) note])));
        EXPECT_EQ (bytesOf (sent[(size_t) note + 16]), bytesOf (DeviceMessages::calibrationValueRequest (note)));
    }
}

// The machine's replies, by note and by how often that note was asked for
// before; nothing when it does not answer.
using Replies = std::function<std::optional<juce::uint16> (int note, int asked, juce::uint16 written)>;

TEST_F (CalibrationWriterTest, WritesAgainWhatTheMachineDidNotConfirmForTwoMoreRounds)
{
    const struct
    {
        const char* name;
        Replies replies;
        int writes;
        juce::Array<int> unconfirmed;
    } cases[] = {
        { "every value comes back", [] (int, int, juce::uint16 written) { return written; }, 2, {} },
        { "a value lost once is written again", [] (int note, int asked, juce::uint16 w) { return note == 30 && asked == 0 ? (juce::uint16) (w - 1) : w; }, 3, {} },
        { "a note that never answers is given up", [] (int note, int, juce::uint16 w) { return note == 31 ? std::nullopt : std::optional<juce::uint16> (w); }, 4, { 31 } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        clock.ports->clearSent();
        CalibrationWriter::Values values;
        values[30] = 1000;
        values[31] = 2000;
        std::optional<CalibrationWriter::Result> result;
        ASSERT_TRUE (writer.start (values, [&] (const CalibrationWriter::Result& r) { result = r; }));
        std::map<int, int> asked;
        for (size_t seen = 0, ticks = 0; ! result && ticks < 1000; ++ticks, clock.advanceMs (10), writer.tick())
            for (const auto sent = clock.ports->allSent(); seen < sent.size(); ++seen)
                if (const int note = sent[seen].getRawData()[7]; ! isWrite (sent[seen]))
                    if (const auto reply = c.replies (note, asked[note]++, *values[(size_t) note]))
                        writer.takeReply (note, *reply);
        ASSERT_TRUE (result.has_value());
        EXPECT_EQ (result->confirmed, c.unconfirmed.isEmpty());
        EXPECT_EQ (result->unconfirmedNotes, c.unconfirmed);
        const auto sent = clock.ports->allSent();
        EXPECT_EQ (std::count_if (sent.begin(), sent.end(), isWrite), c.writes);
    }
}

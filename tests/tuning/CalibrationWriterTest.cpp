#include "engine/EngineTestSupport.h"
#include "support/FakeMidiPortSystem.h"
#include "tuning/CalibrationWriter.h"

#include <gtest/gtest.h>

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

    std::shared_ptr<FakeMidiPortSystem> ports;
    std::vector<std::pair<size_t, int>> pauses;
};
} // namespace

TEST (CalibrationWriter, PacedMessagesKeepTheirSpacingButNeverHoldTheCallerLong)
{
    PauseRecordingClock clock;
    clock.ports = std::make_shared<FakeMidiPortSystem>();
    clock.ports->plugOutput ("out");
    MidiManager::Ptr midi = new MidiManager (clock.ports);
    midi->openOutputDevice ("out");
    CalibrationWriter writer (midi, clock);

    CalibrationWriter::Values values;
    for (int note = 24; note <= 63; ++note)
        values[(size_t) note] = (juce::uint16) (60000 - note);

    // The start, then ticks, until the 40 writes and 40 requests are out.
    ASSERT_TRUE (writer.start (values, {}));
    size_t callStart = 0;
    int calls = 1;
    for (; calls < 40; ++calls)
    {
        SCOPED_TRACE ("call " + std::to_string (calls));
        const auto sent = enginetest::describeAll (clock.ports->allSent());
        // Between two messages of one call lies exactly one pause: 3 ms after
        // a write, 2 ms after a request; a call pauses 15 ms at most.
        ASSERT_EQ (clock.pauses.size() + 1, sent.size() - callStart);
        int pausedInCall = 0;
        for (const auto& [sentBefore, ms] : clock.pauses)
        {
            const bool afterWrite = sent[sentBefore - 1].rfind ("write", 0) == 0;
            EXPECT_EQ (ms, afterWrite ? CalibrationWriter::writePauseMs : CalibrationWriter::requestPauseMs);
            pausedInCall += ms;
        }
        EXPECT_LE (pausedInCall, CalibrationWriter::maxPausePerCallMs);
        clock.pauses.clear();
        callStart = sent.size();
        if (sent.size() == 80)
            break;
        writer.tick();
    }
    const auto sent = enginetest::describeAll (clock.ports->allSent());
    ASSERT_EQ (sent.size(), 80u);
    EXPECT_EQ (sent[0], "write 24 59976");
    EXPECT_EQ (sent[40], "request 24");
    EXPECT_GT (calls, 4) << "the paced messages went out in too few calls";
}

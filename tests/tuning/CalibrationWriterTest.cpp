#include "midi/DeviceMessages.h"
#include "support/FakeMidiPortSystem.h"
#include "support/FastForwardClock.h"
#include "tuning/CalibrationReadBack.h"
#include "tuning/CalibrationWriter.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace
{
struct Rig
{
    Rig()
    {
        ports->plugOutput ("out");
        midi->openOutputDevice ("out");
    }

    FastForwardClock clock;
    const std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr midi = new MidiManager (ports, clock);
};
} // namespace

TEST (CalibrationWriter, PacedMessagesKeepTheirSpacingButNeverHoldTheCallerLong)
{
    // Every pause, with the number of messages sent before it.
    Rig rig;
    auto& clock = rig.clock;
    const auto& ports = rig.ports;
    const auto& midi = rig.midi;
    std::vector<std::pair<size_t, int>> pauses;
    clock.onPause = [&] (int ms) { pauses.push_back ({ ports->allSent().size(), ms }); };
    CalibrationWriter writer (midi, clock);
    CalibrationWriter::Values values;
    for (int note = 24; note <= 63; ++note)
        values[(size_t) note] = (juce::uint16) (60000 - note);

    // The start, then ticks, until the 40 writes and 40 requests are out.
    // Between two messages of one call lies exactly one pause, longer after a
    // write than after a request; a call pauses 6 ms at most.
    std::optional<CalibrationWriter::Result> result;
    ASSERT_TRUE (writer.start (values, [&] (const CalibrationWriter::Result& r) { result = r; }));
    int calls = 1;
    for (size_t callStart = 0; callStart < 80 && calls <= 40; ++calls, pauses.clear(), writer.tick())
    {
        const auto sent = ports->allSent();
        ASSERT_EQ (pauses.size() + 1, sent.size() - callStart) << "call " << calls;
        int paused = 0;
        for (const auto& [sentBefore, ms] : pauses)
        {
            EXPECT_EQ (ms, sent[sentBefore - 1].getRawDataSize() == 13 ? 3 : 2) << "call " << calls;
            paused += ms;
        }
        EXPECT_LE (paused, CalibrationWriter::maxPausePerCallMs) << "call " << calls;
        callStart = sent.size();
    }
    EXPECT_GT (calls, 5) << "the paced messages went out in too few calls";
    const auto sent = ports->allSent();
    ASSERT_EQ (sent.size(), 80u);
    EXPECT_EQ (sent[0].getDescription(), DeviceMessages::calibrationValueWrite (24, 59976).getDescription());
    EXPECT_EQ (sent[79].getDescription(), DeviceMessages::calibrationValueRequest (63).getDescription());

    // Nothing comes back: all is written and asked for twice more, then given up.
    for (int i = 0; i < 200 && ! result; ++i, clock.advanceMs (100))
        writer.tick();
    ASSERT_TRUE (result.has_value());
    EXPECT_FALSE (result->confirmed);
    EXPECT_EQ (result->unconfirmedNotes.size(), 40);
    EXPECT_EQ (ports->allSent().size(), 3 * 80u);
}

// The read-back asks for notes 24 to 64 with 2 ms before every request but
// the first, 6 ms a call at most, and takes a reply until a second after its
// last request, not later.
TEST (CalibrationReadBack, PacesItsRequestsAndTakesRepliesForASecondAfterTheLast)
{
    Rig rig;
    std::vector<int> pauses;
    rig.clock.onPause = [&pauses] (int ms) { pauses.push_back (ms); };
    CalibrationReadBack readBack (rig.midi, rig.clock);
    readBack.start();
    std::vector<size_t> perCall { rig.ports->allSent().size() };
    while (readBack.isSending())
    {
        const auto before = rig.ports->allSent().size();
        readBack.sendPaced();
        perCall.push_back (rig.ports->allSent().size() - before);
    }
    EXPECT_EQ (perCall, (std::vector<size_t> { 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 1 }));
    EXPECT_EQ (pauses, std::vector<int> (40, 2));

    rig.clock.advanceMs (CalibrationReadBack::replyWindowMs);
    EXPECT_TRUE (readBack.takeReply (63, 1000));
    rig.clock.advanceMs (1);
    EXPECT_FALSE (readBack.takeReply (62, 1000));
    EXPECT_FALSE (readBack.valueOf (62).has_value());
}

TEST (CalibrationReadBack, ACancelledReadBackSendsNothingMoreAndTakesNoReply)
{
    Rig rig;
    auto& clock = rig.clock;
    const auto& ports = rig.ports;
    const auto& midi = rig.midi;
    CalibrationReadBack readBack (midi, clock);
    readBack.start();
    ASSERT_TRUE (readBack.isSending()); // paced: the rest follow in later calls
    const auto sent = ports->allSent().size();
    readBack.cancel();
    readBack.sendPaced();
    EXPECT_FALSE (readBack.isSending());
    EXPECT_EQ (ports->allSent().size(), sent);
    EXPECT_FALSE (readBack.takeReply (24, 1234));
}

// A reply counts only for a request that went out: one no output took (the
// cable pulled, the buffer full) is answered by nobody we asked, and must
// neither confirm a write that went nowhere nor pass as the value read back.
TEST (CalibrationWriterAndReadBack, AReplyCountsOnlyForARequestThatWentOut)
{
    for (const bool outputsTake : { true, false })
    {
        SCOPED_TRACE (outputsTake ? "outputs take the messages" : "outputs refuse them");
        Rig rig;
        rig.ports->outputsRefuse = ! outputsTake;

        CalibrationWriter writer (rig.midi, rig.clock);
        CalibrationWriter::Values values;
        values[24] = 500;
        std::optional<CalibrationWriter::Result> result;
        ASSERT_TRUE (writer.start (values, [&] (const CalibrationWriter::Result& r) { result = r; }));
        EXPECT_EQ (writer.takeReply (24, 500), outputsTake);
        for (int i = 0; i < 100 && ! result; ++i, rig.clock.advanceMs (100))
            writer.tick();
        ASSERT_TRUE (result.has_value());
        EXPECT_EQ (result->confirmed, outputsTake);

        CalibrationReadBack readBack (rig.midi, rig.clock);
        readBack.start();
        while (readBack.isSending())
            readBack.sendPaced();
        EXPECT_EQ (readBack.takeReply (24, 1234), outputsTake);
        EXPECT_EQ (readBack.valueOf (24).has_value(), outputsTake);
    }
}

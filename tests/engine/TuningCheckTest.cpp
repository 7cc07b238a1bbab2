#include "support/SimRig.h"

#include "sim/model/CalibrationCheck.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace enginetest;

namespace
{
struct CheckRecorder : TuningCheck::Listener
{
    void tuningCheckProgressChanged (int note, double p) override { events.push_back ("next " + std::to_string (note) + " " + std::to_string (p)); }
    void tuningCheckFinished (const std::vector<TuningCheck::Row>& measured) override { rows = measured, events.push_back ("finished"); }
    void tuningCheckFailed (TuningCheck::State reason) override { failure = reason, events.push_back ("failed"); }
    bool ended() const { return ! events.empty() && (events.back() == "finished" || events.back() == "failed"); }

    std::vector<std::string> events;
    std::vector<TuningCheck::Row> rows;
    std::optional<TuningCheck::State> failure;
};

} // namespace

TEST (TuningCheck, MeasuresEachNoteOfAUnitOffTuneAsItsCheckerDoes)
{
    // The knob 0.4 semitones sharp of where the stored table was made.
    SimRig rig (machineOptions (3, 0.4));
    const CalibrationCheck checker (rig.machine->getStoredState(), rig.machine->getPitchCurve(), 0.4);
    CheckRecorder recorder;
    ASSERT_TRUE (rig.engine->startTuningCheck (&recorder));
    rig.run (120000.0, [&] { return recorder.ended(); });

    ASSERT_EQ (recorder.events.size(), 40u);
    EXPECT_EQ (recorder.events.front(), "next 25 0.025000");
    EXPECT_EQ (recorder.events[38], "next 63 0.975000");
    ASSERT_EQ (recorder.rows.size(), 40u);
    std::vector<std::string> notes;
    for (size_t i = 0; i < 40; ++i)
    {
        const auto& row = recorder.rows[i];
        const auto& expected = checker.getRows()[i];
        SCOPED_TRACE (row.note);
        EXPECT_DOUBLE_EQ (row.targetHz, expected.target);
        const double tolerance = row.note <= 35 ? 0.75 : 0.5;
        EXPECT_NEAR (row.cents, expected.cents, tolerance);
        EXPECT_NEAR (1200.0 * std::log2 (row.measuredHz / expected.frequency), 0.0, tolerance);
        notes = concat ({ notes, { "on " + std::to_string (expected.note) + " 127", "off " + std::to_string (expected.note) } });
    }
    // Each note on and off in turn, nothing else; the machine silent and unchanged.
    EXPECT_EQ (describeAll (rig.ports->getReceivedByMachine()), notes);
    EXPECT_EQ (rig.machine->getSoundingNote(), -1);
    EXPECT_EQ (rig.machine->getStoredState(), MachineState::factory());
    EXPECT_FALSE (rig.engine->isCheckingTuning());
}

TEST (TuningCheck, StopsWithTheLikelyCauseInsteadOfMeasuringNothing)
{
    struct Case
    {
        const char* name;
        std::function<void (SimRig&)> breakIt;
        TuningCheck::State expected;
        std::vector<std::string> wire;
    };
    const std::vector<Case> cases {
        { "a silent machine", [] (SimRig& rig) { rig.machine->setMuted (true); }, TuningCheck::State::noNoteHeard,
          { "on 24 127", "off 24" } },
        { "an input channel the device does not open", [] (SimRig& rig) { rig.engine->setAnalysedInputChannel (1); },
          TuningCheck::State::noAudio, { "on 24 127", "off 24" } },
        { "no MIDI output", [] (SimRig& rig) { rig.midi->closeAllOutputDevices(); }, TuningCheck::State::noteNotSent, {} },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        SimRig rig (machineOptions (1, 0.0));
        c.breakIt (rig);
        CheckRecorder recorder;
        ASSERT_TRUE (rig.engine->startTuningCheck (&recorder));
        const auto start = rig.clock.getMillisecondCounter();
        rig.run (10000.0, [&] { return recorder.ended(); });

        EXPECT_EQ (recorder.events, std::vector<std::string> { "failed" });
        EXPECT_EQ (recorder.failure, c.expected);
        EXPECT_LE (rig.clock.getMillisecondCounter() - start, 2100u);
        EXPECT_EQ (describeAll (rig.ports->getReceivedByMachine()), c.wire);
        EXPECT_EQ (rig.machine->getSoundingNote(), -1);
        EXPECT_FALSE (rig.engine->isCheckingTuning());
    }
}

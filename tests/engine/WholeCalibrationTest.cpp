#include "support/SimRig.h"

#include "sim/model/CalibrationCheck.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace enginetest;

// Whole calibrations on the virtual machine (seed 1, knob 0) in simulated time. Both accept a note only
// on an estimate of the value they hold: Sweep Tune within 0.2 Hz (10.6 cents at note 24, 1.1 at 63),
// Fine Tune within 0.1 Hz. Measured: Sweep 233 s, at most 8.5 cents (notes 24-35), 4.4 (36-47) and
// 2.2 (48-63); Fine 92 s from the factory table, 82 s after Sweep, each note within 0.1 Hz but for the
// one estimate's own error (the voice's jitter of 0.01 Hz): 0.012 Hz at most.
namespace
{
double sweepBoundCents (int note)
{
    return note <= 35 ? 11.0 : note <= 47 ? 8.0 : 5.5;
}

// Its own window, 0.1 Hz around the target, widened by what one estimate may be off.
double fineBoundCents (int note)
{
    const double target = PitchCurve::targetFrequency (note);
    return PitchCurve::centsBetween (target + 0.1 + 0.015, target);
}

std::vector<std::string> tail (SimRig& rig, size_t n)
{
    const auto wire = describeAll (rig.ports->getReceivedByMachine());
    return { wire.end() - (long) std::min (n, wire.size()), wire.end() };
}
} // namespace

TEST (WholeCalibration, EachAlgorithmStoresWhatItAcceptedInTuneAndUndoGivesTheTableBack)
{
    struct Case
    {
        const char* algorithm;
        bool afterSweepTune;   // a second calibration, from a nearly exact table
        double minMs, maxMs;
        double (*bound) (int);
    };
    for (const auto& c : { Case { "Sweep Tune", false, 150000.0, 260000.0, sweepBoundCents },
                           Case { "Fine Tune", false, 15000.0, 110000.0, fineBoundCents },
                           Case { "Fine Tune", true, 15000.0, 110000.0, fineBoundCents } })
    {
        SCOPED_TRACE (std::string (c.algorithm) + (c.afterSweepTune ? " after Sweep Tune" : ""));
        SimRig rig (machineOptions (1, 0.0));
        if (c.afterSweepTune)
        {
            rig.startAndBegin();
            rig.runToEnd();
            rig.listener.clear();
        }
        const auto before = rig.machine->getStoredState();
        rig.engine->setTuningAlgorithm (c.algorithm);
        rig.startAndBegin();
        const auto mark = rig.ports->getReceivedByMachine().size();
        const auto ms = rig.runToEnd();

        EXPECT_EQ (rig.listener.milestones(), concat ({ { "version 1.05", "note 24", "started" }, messagesFor ("note", 25, 63),
                                                        { "stopped", "progress 1", "written new stored" } }));
        EXPECT_GT (ms, c.minMs);
        EXPECT_LT (ms, c.maxMs);
        const CalibrationCheck check (rig.machine->getStoredState(), rig.machine->getPitchCurve(), 0.0);
        for (const auto& row : check.getRows())
            EXPECT_LE (std::abs (row.cents), c.bound (row.note)) << "note " << row.note;

        // The run starts from the lowest pitch (Sweep) or from note 24's stored value (Fine).
        const auto first = describeAll (rig.ports->getReceivedByMachine(), true)[mark - 1];
        EXPECT_EQ (first, "write 24 " + std::to_string (c.bound == sweepBoundCents ? 0xFFFF : before.valueForNote (24)));
        // Every note silenced, the accepted values written, read back and committed.
        const auto& results = rig.engine->getTuningResults();
        const auto completion = concat ({ messagesFor ("off", 0, 126), messagesFor ("write", 24, 63, [&] (int n) { return results[(size_t) n].value; }),
                                          messagesFor ("request", 24, 63), { "commit" } });
        EXPECT_EQ (tail (rig, completion.size()), completion);

        for (int note = 24; note <= 63; ++note)
            EXPECT_EQ (rig.machine->getStoredValue (note), results[(size_t) note].value) << note;
        for (int i = 0; i < 2; ++i)   // Undo Tuning, twice: the values read back at the start of the run
        {
            ASSERT_TRUE (rig.engine->undoTuningAndStore());
            rig.run (3000.0, [&] { return ! rig.engine->isWritingCalibration(); });
            EXPECT_EQ (rig.machine->getStoredState(), before);
        }
    }
}

// The Tune knob turned up half-way through a run: the notes after it need
// values above those before, a table the utility would not load. Nothing is
// stored, the machine gets its own table back, and the outcome says so.
TEST (WholeCalibration, ATableThatDoesNotFallIsNotStored)
{
    SimRig rig (machineOptions (1, 0.0));
    const auto before = rig.machine->getStoredState();
    rig.startAndBegin();
    rig.run (300000.0, [&] {
        const auto milestones = rig.listener.milestones();
        return std::find (milestones.begin(), milestones.end(), "note 44") != milestones.end();
    });
    rig.machine->setKnob (1.5);
    rig.runToEnd();
    EXPECT_EQ (rig.listener.milestones().back(), "written new not stored, as found") << ::testing::PrintToString (rig.listener.milestones());
    EXPECT_EQ (rig.differencesFrom (before), "");
}

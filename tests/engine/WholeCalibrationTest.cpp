#include "EngineTestSupport.h"

#include "sim/model/CalibrationCheck.h"
#include "tuning/CalibrationReport.h"
#include "tuning/DefaultCalibration.h"

#include <gtest/gtest.h>

#include <iostream>

using namespace enginetest;

// Whole calibrations against the virtual machine (seed 1, knob 0), 48 kHz in
// 512-sample blocks, in simulated time.
//
// Sweep Tune accepts within 0.2 Hz (10.6 cents at note 24, 1.1 at note 63)
// and keeps moving while an estimate is measured, so it lands a few cents
// sharp; Fine Tune accepts within 0.1 Hz of settled frames. Measured on this
// unit: Sweep at most 7.2 cents (notes 24-47) and 3.6 (48-63), Fine at most
// 6.9. The bounds leave the margin the acceptance windows allow.
namespace
{
double sweepBoundCents (int note)
{
    return note <= 35 ? 11.0 : note <= 47 ? 8.0 : 5.5;
}

double fineBoundCents (int)
{
    return 7.5;
}

void expectInTune (SimRig& rig, double (*bound) (int))
{
    const CalibrationCheck check (rig.machine->getStoredState(), rig.machine->getPitchCurve(), rig.machine->getKnob());
    ASSERT_EQ (check.getRows().size(), 40u);
    for (const auto& row : check.getRows())
        EXPECT_LE (std::abs (row.cents), bound (row.note)) << "note " << row.note;
    std::cout << rig.engine->getTuningAlgorithm() << ": " << check.getLargestAbsoluteCents() << " cents at most\n";
}

std::vector<std::string> tail (SimRig& rig, size_t n)
{
    const auto wire = describeAll (rig.ports->getReceivedByMachine());
    return { wire.end() - (long) std::min (n, wire.size()), wire.end() };
}

// The note stops, the values read back go back and are stored again.
void expectRestored (SimRig& rig, const MachineState& before)
{
    std::vector<std::string> restore { "off 24" };
    for (int note = 24; note <= 63; ++note)
        restore.push_back ("write " + std::to_string (note) + " " + std::to_string (before.valueForNote (note)));
    restore.push_back ("commit");
    EXPECT_EQ (tail (rig, restore.size()), restore);
    const auto milestones = rig.listener.milestones();
    EXPECT_EQ (std::vector<std::string> (milestones.end() - 2, milestones.end()),
               (std::vector<std::string> { "stopped", "failed" }));
    EXPECT_EQ (rig.machine->getSoundingNote(), -1);
    EXPECT_EQ (rig.machine->getWorkingValue (24), before.valueForNote (24));
    EXPECT_EQ (rig.machine->getStoredState(), before);
}

struct StopHook : RecordingStatusListener
{
    std::function<void()> onStop;
    void tuningStopped() override { onStop(); }
};
} // namespace

TEST (WholeCalibration, EachAlgorithmCompletesAndStoresWhatItAcceptedInTune)
{
    struct Case
    {
        const char* algorithm;
        double minMs, maxMs;
        double (*bound) (int);
        juce::uint16 firstValue;   // where note 24 starts once the knob step is over
    };
    for (const auto& c : { Case { "Sweep Tune", 150000.0, 230000.0, sweepBoundCents, 0xFFFF },
                           Case { "Fine Tune", 15000.0, 65000.0, fineBoundCents, MachineState::factory().valueForNote (24) } })
    {
        SCOPED_TRACE (c.algorithm);
        SimRig rig (machineOptions (1, 0.0));
        rig.engine->setTuningAlgorithm (c.algorithm);
        rig.startAndBegin();
        const auto ms = rig.runToEnd();
        std::cout << c.algorithm << ", seed 1, knob 0: " << ms / 1000.0 << " s\n";

        std::vector<std::string> milestones { "version 1.05", "note 24", "started" };
        for (int note = 25; note <= 63; ++note)
            milestones.push_back ("note " + std::to_string (note));
        EXPECT_EQ (rig.listener.milestones(), concat ({ milestones, { "stopped", "progress 1", "written new stored" } }));
        EXPECT_GT (ms, c.minMs);
        EXPECT_LT (ms, c.maxMs);
        expectInTune (rig, c.bound);

        // Every note silenced, the accepted values written, read back and committed.
        const auto& results = rig.engine->getTuningResults();
        std::vector<std::string> completion;
        for (int note = 0; note <= 126; ++note)
            completion.push_back ("off " + std::to_string (note));
        for (int note = 24; note <= 63; ++note)
            completion.push_back ("write " + std::to_string (note) + " " + std::to_string (results[(size_t) note].value));
        for (int note = 24; note <= 63; ++note)
            completion.push_back ("request " + std::to_string (note));
        completion.push_back ("commit");
        EXPECT_EQ (tail (rig, completion.size()), completion);
        for (int note = 24; note <= 63; ++note)
            EXPECT_EQ (rig.machine->getStoredValue (note), results[(size_t) note].value) << note;
        EXPECT_EQ (describeAll (rig.ports->getReceivedByMachine())[44], "write 24 " + std::to_string (c.firstValue));
    }
}

TEST (WholeCalibration, ASecondRunStaysInTuneAndItsReportAndUndoFollowIt)
{
    SimRig rig (machineOptions (1, 0.0));
    rig.startAndBegin();
    rig.runToEnd();
    const auto before = rig.machine->getStoredState();

    rig.engine->setTuningAlgorithm ("Fine Tune");
    rig.listener.clear();
    ASSERT_TRUE (rig.engine->startTuningCalibration());
    rig.run (1000.0);
    ASSERT_TRUE (rig.engine->beginTuningRun());
    rig.runToEnd();
    EXPECT_EQ (rig.listener.milestones().back(), "written new stored");
    expectInTune (rig, fineBoundCents);
    ASSERT_NE (rig.machine->getStoredState(), before);

    juce::TemporaryFile temp (".txt");
    ASSERT_TRUE (rig.engine->writeCalibrationReport (temp.getFile()));
    juce::StringArray lines;
    lines.addTokens (temp.getFile().loadFileAsString().replace ("\r\n", "\x01"), "\x01", {});
    ASSERT_EQ (lines.size(), 43);
    EXPECT_TRUE (lines[0].startsWith ("Tuning Results: "));
    for (int note = 24; note <= 63; ++note)
        EXPECT_EQ (lines[note - 23], CalibrationReport::row (note, rig.engine->getTuningResults()[(size_t) note]));

    // Undo Tuning, twice: the values read back at the start of the run.
    for (int i = 0; i < 2; ++i)
    {
        ASSERT_TRUE (rig.engine->undoTuningAndStore());
        rig.run (3000.0, [&] { return ! rig.engine->isWritingCalibration(); });
        EXPECT_EQ (rig.machine->getStoredState(), before);
        EXPECT_TRUE (rig.engine->hasTuningResults());
    }
}

TEST (WholeCalibration, AbortDuringTheKnobStepLeavesTheMachineAsItWas)
{
    SimRig rig (machineOptions (1, 0.0));
    const auto before = rig.machine->getStoredState();
    rig.start();
    rig.run (500.0);
    EXPECT_EQ (rig.machine->getWorkingValue (24), 0xFFFF);
    EXPECT_GT (rig.listener.count ("frequency"), 20);

    rig.engine->abortTuning();
    EXPECT_EQ (rig.machine->getStoredState(), before);
    EXPECT_EQ (rig.machine->getWorkingValue (24), before.valueForNote (24));
    EXPECT_EQ (rig.machine->getSoundingNote(), -1);
    EXPECT_FALSE (rig.engine->hasTuningResults());
}

TEST (WholeCalibration, ASilentMachineTimesOutOnTheFirstNote)
{
    SimRig rig (machineOptions (1, 0.0));
    rig.machine->setMuted (true);
    rig.startAndBegin();
    EXPECT_NEAR (rig.runToEnd(), 120001.0, 30.0);
    EXPECT_EQ (rig.listener.milestones(), (std::vector<std::string> { "version 1.05", "note 24", "started", "stopped", "failed" }));
    expectRestored (rig, MachineState::factory());
}

TEST (WholeCalibration, AudioThatStopsForASecondEndsTheRunWithTheReadBackValuesRestored)
{
    const auto tickWithoutAudio = [] (SimRig& rig, double ms) {
        for (double t = 0.0; t < ms && rig.engine->isTimerRunning(); t += TuneKestruneEngine::tickIntervalMs)
        {
            rig.clock.advanceMs (TuneKestruneEngine::tickIntervalMs);
            rig.engine->timerCallback();
        }
    };
    struct Case
    {
        const char* name;
        std::function<void (SimRig&, double ms)> silence;
    };
    const std::vector<Case> cases {
        { "the audio device goes away",
          [tickWithoutAudio] (SimRig& rig, double ms) {
              rig.deviceManager->closeAudioDevice();
              tickWithoutAudio (rig, ms);
          } },
        { "the machine's channel is no longer among the device's inputs",
          [] (SimRig& rig, double ms) {
              rig.engine->setAnalysedInputChannel (1);
              rig.run (ms);
          } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        SimRig rig (machineOptions (1, 0.0));
        const auto before = rig.machine->getStoredState();
        rig.startAndBegin();
        rig.run (3000.0);
        ASSERT_NE (rig.machine->getWorkingValue (24), before.valueForNote (24));

        c.silence (rig, 900.0);
        EXPECT_TRUE (rig.engine->isTuning()) << "ended before the audio had been gone a second";
        c.silence (rig, 200.0);
        ASSERT_FALSE (rig.engine->isTuning());
        expectRestored (rig, before);
    }
}

TEST (WholeCalibration, TheEnginesOwnReferenceValueIsNeverStored)
{
    // Each case ends a calibration without note 24's stored value in hand.
    struct Case
    {
        const char* name;
        bool referenceKnown;   // read back at some point, so a stop can give it back
        std::function<void (SimRig&)> loseTheReference;
    };
    const auto startAndStop = [] (SimRig& rig, int starts) {
        rig.machine->dropNextReplies (1);
        for (int i = 0; i < starts; ++i)
        {
            ASSERT_TRUE (rig.engine->startTuningCalibration());
            rig.run (500.0);
        }
        rig.engine->abortTuning();
        if (rig.engine->undoTuning())
        {
            EXPECT_FALSE (rig.engine->commitCalibration());
        }
    };
    const std::vector<Case> cases {
        { "reply of note 24 lost, then stop and Undo Tuning", false, [=] (SimRig& rig) { startAndStop (rig, 1); } },
        { "reply of note 24 lost, started again (it now answers our value), stop, Undo Tuning", false,
          [=] (SimRig& rig) { startAndStop (rig, 2); } },
        { "unplugged during the run, replugged with power kept, started and stopped again", true,
          [] (SimRig& rig) {
              rig.engine->setTuningAlgorithm ("Sweep Tune");   // moves note 24 at once
              ASSERT_TRUE (rig.engine->startTuningCalibration());
              rig.run (500.0);
              ASSERT_TRUE (rig.engine->beginTuningRun());
              rig.run (300.0);
              rig.ports->setPlugged (false);
              rig.midi->timerCallback();
              ASSERT_FALSE (rig.engine->isTuning());
              rig.ports->setPlugged (true);
              rig.midi->timerCallback();
              ASSERT_TRUE (rig.engine->startTuningCalibration());
              rig.run (500.0);
              rig.engine->abortTuning();
          } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        // The machine answers with what each note holds now.
        SimRig rig (machineOptions (1, 0.0));
        rig.engine->setTuningAlgorithm ("Fine Tune");
        rig.startAndBegin();
        rig.runToEnd();
        const auto stored = rig.machine->getStoredState();

        c.loseTheReference (rig);
        EXPECT_EQ (rig.machine->getStoredState(), stored);
        // A later start and stop, every reply arriving: still nothing of ours stored.
        ASSERT_TRUE (rig.engine->startTuningCalibration());
        rig.run (500.0);
        rig.engine->abortTuning();
        EXPECT_EQ (rig.machine->getStoredState(), stored);
        if (c.referenceKnown)
        {
            EXPECT_EQ (rig.machine->getWorkingValue (24), stored.valueForNote (24));
        }
    }
}

TEST (WholeCalibration, LostWritesAreWrittenAgainAndNothingUnconfirmedIsStored)
{
    struct Case
    {
        const char* name;
        int writesLost;
        bool run;   // a completed run's results, else Restore Default Calibration
        const char* outcome;
    };
    for (const auto& c : { Case { "restore, three writes lost", 3, false, "written restore stored" },
                           Case { "restore, every write lost", 1000, false, "written restore not stored 40" },
                           Case { "end of a run, five writes lost", 5, true, "written new stored" } })
    {
        SCOPED_TRACE (c.name);
        // A unit whose stored table is not the default one.
        auto options = machineOptions (1, 0.0);
        for (auto& value : options.initialState.calibration)
            value = (juce::uint16) (value - 500);
        SimRig rig (options);
        const auto before = rig.machine->getStoredState();
        if (c.run)
        {
            StopHook loseOnStop;   // the results' writes are the first after the run stops
            loseOnStop.onStop = [&] { rig.machine->dropNextWrites (c.writesLost); };
            rig.engine->addStatusListener (&loseOnStop);
            rig.engine->setTuningAlgorithm ("Fine Tune");
            rig.startAndBegin();
            rig.runToEnd();
            rig.engine->removeStatusListener (&loseOnStop);
        }
        else
        {
            rig.machine->dropNextWrites (c.writesLost);
            ASSERT_TRUE (rig.engine->restoreDefaultCalibration());
            rig.run (2000.0, [&] { return ! rig.engine->isWritingCalibration(); });
        }
        EXPECT_FALSE (rig.engine->isWritingCalibration());
        EXPECT_EQ (rig.listener.milestones().back(), c.outcome);

        const bool stored = juce::String (c.outcome).endsWith (" stored") && ! juce::String (c.outcome).contains ("not");
        for (int note = 24; note <= 63; ++note)
        {
            const auto expected = ! stored ? before.valueForNote (note)
                                  : c.run  ? rig.engine->getTuningResults()[(size_t) note].value
                                           : kDefaultCalibration[(size_t) (note - 24)];
            EXPECT_EQ (rig.machine->getStoredValue (note), expected) << "note " << note;
        }
    }
}

#include "support/SimRig.h"

#include "tuning/DefaultCalibration.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace enginetest;

// Every way out of a calibration, on the virtual machine: afterwards it stores
// and sounds exactly what it did before, or what it confirmed.
namespace
{
void stopAfterRunning (SimRig& rig, int writesLost)
{
    rig.startAndBegin();
    rig.run (3000.0);
    ASSERT_NE (rig.machine->getWorkingValue (24), rig.machine->getStoredValue (24));
    rig.machine->dropNextWrites (writesLost);
    rig.engine->abortTuning();
}

// The machine's replies stop for a while: its output vanished and came back,
// in a run or in the knob step (which reports the failure itself).
void unplugDuring (SimRig& rig, bool inRun)
{
    if (inRun)
        rig.startAndBegin();
    else
        rig.start();
    rig.run (2000.0);
    rig.ports->setPlugged (false);
    rig.midi->timerCallback();   // the device poll notices: the calibration ends
    rig.run (3000.0);            // the restore goes nowhere
    ASSERT_FALSE (rig.engine->isCalibrating());
    const auto milestones = rig.listener.milestones();
    EXPECT_TRUE (inRun || std::find (milestones.begin(), milestones.end(), "failed") != milestones.end());
    ASSERT_FALSE (rig.engine->isWritingCalibration());
    EXPECT_TRUE (rig.engine->hasUnrestoredChanges());
    rig.ports->setPlugged (true);
    rig.midi->timerCallback();   // found again
    rig.midi->sendMessageToAllOutputs (DeviceMessages::identityRequest());   // the poll's next request
    rig.run (100.0);             // it answers; the restore follows
}
} // namespace

TEST (LeaveAsFound, EveryWayOutOfACalibrationLeavesTheMachineAsItWas)
{
    struct Case
    {
        const char* name;
        std::function<void (SimRig&)> leave;
        const char* lastOutcome;
    };
    const std::vector<Case> cases {
        { "STOP in the knob step", [] (SimRig& r) { r.start(), r.engine->abortTuning(); }, "written restore stored" },
        { "STOP in a run, the first write-back lost", [] (SimRig& r) { stopAfterRunning (r, 1); }, "written restore stored" },
        { "the audio gone for a second",
          [] (SimRig& r) {
              r.startAndBegin();
              r.run (2000.0);
              r.engine->setAnalysedInputChannel (1);   // the machine's channel no longer among the device's
              r.run (1200.0);
              const auto milestones = r.listener.milestones();
              EXPECT_NE (std::find (milestones.begin(), milestones.end(), "failed"), milestones.end());
          },
          "written restore stored" },
        { "the output unplugged in a run, then back", [] (SimRig& r) { unplugDuring (r, true); }, "written restore stored" },
        { "the output unplugged in the knob step, then back", [] (SimRig& r) { unplugDuring (r, false); },
          "written restore stored" },
        { "quit in the knob step, waiting for the restore",
          [] (SimRig& r) {
              r.start();
              EXPECT_TRUE (r.engine->prepareToQuit());
              EXPECT_TRUE (r.finishWrites());
              r.newEngine();
          },
          "written restore stored" },
        { "quit at once while a loaded table is being written",
          [] (SimRig& r) {
              r.start();   // the stored table read back
              r.engine->abortTuning();
              ASSERT_TRUE (r.finishWrites());
              auto loaded = defaultCalibration;
              for (auto& value : loaded)
                  value = (juce::uint16) (value - 100);
              ASSERT_TRUE (r.engine->loadCalibration (loaded));
              r.run (1000.0, [&r] { return r.machine->getWorkingValue (63) == defaultCalibration.back() - 100; });
              ASSERT_TRUE (r.engine->isWritingCalibration());
              r.newEngine();   // its write is cut short, unreported
          },
          "written restore stored" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        SimRig rig (machineOptions (1, 0.0));
        const auto before = rig.machine->getStoredState();
        c.leave (rig);
        EXPECT_TRUE (rig.finishWrites());
        EXPECT_EQ (rig.differencesFrom (before), "");
        EXPECT_EQ (rig.listener.milestones().back(), c.lastOutcome);
        EXPECT_FALSE (rig.engine->hasUnrestoredChanges());
        EXPECT_FALSE (rig.engine->restoreStoredCalibration());   // nothing of ours left to undo
    }
}

TEST (LeaveAsFound, QuitWhileANewCalibrationIsBeingWrittenWaitsUntilItIsStored)
{
    SimRig rig (machineOptions (1, 0.0));
    rig.startAndBegin();
    rig.run (600000.0, [&] { return rig.engine->isWritingCalibration(); });
    ASSERT_TRUE (rig.engine->prepareToQuit());
    EXPECT_TRUE (rig.finishWrites());
    for (int note = 24; note <= 63; ++note)
        ASSERT_EQ (rig.machine->getStoredValue (note), rig.engine->getTuningResults()[(size_t) note].value) << note;
    EXPECT_EQ (rig.listener.milestones().back(), "written new stored");
}

TEST (LeaveAsFound, AMachineResetBetweenRoundsOfAWriteNeverLeavesAMixedTableStored)
{
    auto options = machineOptions (1, 0.0);
    for (auto& value : options.initialState.calibration)
        value = (juce::uint16) (value - 500);
    SimRig rig (options);
    const auto before = rig.machine->getStoredState();
    rig.machine->dropNextWrites (1);
    ASSERT_TRUE (rig.engine->restoreDefaultCalibration());
    // After the first round's writes and requests, a power cycle: the notes
    // confirmed in that round hold their old values again.
    rig.run (2000.0, [&] { return rig.ports->getReceivedByMachine().size() >= 80; });
    rig.machine->restart();
    EXPECT_TRUE (rig.finishWrites());

    int defaults = 0, olds = 0;
    for (int note = 24; note <= 63; ++note)
    {
        defaults += rig.machine->getStoredValue (note) == defaultCalibration[(size_t) (note - 24)] ? 1 : 0;
        olds += rig.machine->getStoredValue (note) == before.valueForNote (note) ? 1 : 0;
    }
    EXPECT_TRUE (defaults == 40 || olds == 40) << defaults << " default values stored, " << olds << " old ones";
    EXPECT_EQ (rig.listener.milestones().back().rfind ("written default stored", 0) == 0, defaults == 40);
}

// The journal's open entry is written in the background, but still reaches
// the disk before the first value of ours reaches the machine: in the knob
// step, with Continue pressed as soon as the table is read back, and in a
// write from the menu.
TEST (LeaveAsFound, NothingOfOursGoesOutBeforeTheJournalHoldsTheStoredTable)
{
    struct ContinueAtOnce : RecordingStatusListener
    {
        void calibrationReadBack (const CalibrationTableRule::Values&) override { readBack = true; }
        bool readBack = false;
    };
    const auto folder = juce::File::createTempFile ("journal");
    const auto file = folder.getChildFile ("calibration-journal.txt");
    for (const juce::String way : { "knob step", "Continue at once", "Restore Default", "Restore Default, then quit at once" })
    {
        SCOPED_TRACE (way);
        const bool continueAtOnce = way == "Continue at once", fromMenu = way.startsWith ("Restore Default");
        SimRig rig { machineOptions (1, 0.0) };
        const auto journal = std::make_shared<CalibrationJournal> (file);
        rig.newEngine (journal);
        ContinueAtOnce continuer;
        rig.engine->addStatusListener (&continuer);
        size_t mark = 0;
        if (fromMenu)
        {
            rig.start();   // the stored table read back, then given back
            rig.engine->abortTuning();
            ASSERT_TRUE (rig.finishWrites());
            journal->waitUntilWritten();
            ASSERT_TRUE (file.loadFileAsString().contains ("state settled"));
            mark = rig.ports->getReceivedByMachine().size();
            ASSERT_TRUE (rig.engine->restoreDefaultCalibration());
            if (way.endsWith ("quit at once"))
            {
                EXPECT_TRUE (rig.engine->prepareToQuit());   // the quit waits for the write
            }
        }
        else
        {
            rig.midi->sendMessageToAllOutputs (DeviceMessages::identityRequest());
            ASSERT_TRUE (rig.engine->startTuningCalibration());
        }
        bool begun = false;
        juce::String onDiskAtFirstWrite;
        rig.run (2000.0, [&] {
            if (continueAtOnce && continuer.readBack && ! begun)
            {
                begun = rig.engine->beginTuningRun();
                EXPECT_TRUE (begun);
            }
            const auto received = rig.ports->getReceivedByMachine();
            const bool written = std::any_of (received.begin() + (long) mark, received.end(), [] (const auto& m) {
                return describe (m).rfind ("write ", 0) == 0;
            });
            if (written)
                onDiskAtFirstWrite = file.loadFileAsString();
            return written;
        });
        EXPECT_TRUE (onDiskAtFirstWrite.contains ("state open")) << onDiskAtFirstWrite;
        EXPECT_EQ (rig.engine->isTuning(), continueAtOnce);
        rig.engine->removeStatusListener (&continuer);
        rig.engine->abortTuning();
        rig.finishWrites();
        if (fromMenu)
        {
            EXPECT_EQ (rig.machine->getStoredValue (24), defaultCalibration.front());
        }
        file.deleteFile();
    }
    folder.deleteRecursively();
}

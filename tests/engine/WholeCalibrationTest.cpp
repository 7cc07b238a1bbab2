#include "EngineTestSupport.h"

#include "midi/DeviceMessages.h"
#include "sim/model/CalibrationCheck.h"
#include "tuning/CalibrationReport.h"
#include "tuning/DefaultCalibration.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

using namespace enginetest;

// Whole calibrations against the virtual machine (seed 1, knob 0), 48 kHz in
// 512-sample blocks, in simulated time.
//
// Bounds: Sweep Tune accepts within 0.2 Hz, which is 10.6 cents at note 24
// and 1.1 cents at note 63, and it keeps moving the value while each estimate
// is being measured, so it lands a few cents sharp; Fine Tune accepts within
// 0.1 Hz (5.3 cents at note 24) of estimates of settled frames. Measured on
// this unit: Sweep Tune at most 7.2 cents (notes 24-47) and 3.6 cents (48-63),
// Fine Tune at most 6.9 cents. The bounds below leave the margin that the
// acceptance windows themselves allow; much worse means a fault.
namespace
{
double sweepBoundCents (int note)
{
    return note <= 35 ? 11.0 : note <= 47 ? 8.0 : 5.5;
}

constexpr double fineBoundCents = 7.5;

CalibrationCheck checkStored (SimRig& rig)
{
    return CalibrationCheck (rig.machine->getStoredState(), rig.machine->getPitchCurve(), rig.machine->getKnob());
}

void expectWithin (const CalibrationCheck& check, double (*bound) (int))
{
    ASSERT_EQ (check.getRows().size(), 40u);
    for (const auto& row : check.getRows())
        EXPECT_LE (std::abs (row.cents), bound (row.note)) << "note " << row.note;
}

std::vector<std::string> notesThenStop()
{
    std::vector<std::string> expected { "note 24", "started" };
    for (int note = 25; note <= 63; ++note)
        expected.push_back ("note " + std::to_string (note));
    expected.push_back ("stopped");
    expected.push_back ("progress 1");
    expected.push_back ("written new stored");
    return expected;
}

// Records, for each status event, how many messages the machine had received.
struct WireMarks : TuneKestruneEngine::StatusListener
{
    explicit WireMarks (VirtualKestruneMidiPortSystem& p) : ports (p) {}

    void frequencyDetected (float) override {}
    void tuningNoteChanged (int) override {}
    void tuningStarted() override {}
    void tuningStopped() override { atStopped = ports.getReceivedByMachine().size(); }
    void tuningFailed() override {}
    void tuningProgressChanged (double p) override
    {
        if (p == 1.0)
            atComplete = ports.getReceivedByMachine().size();
        else
            ++runTicks;
    }
    void firmwareVersionReceived (double) override {}

    VirtualKestruneMidiPortSystem& ports;
    size_t atStopped = 0, atComplete = 0;
    int runTicks = 0;
};
} // namespace

TEST (WholeCalibration, SweepTuneCompletesAndTheStoredTableSoundsInTune)
{
    SimRig rig (machineOptions (1, 0.0));
    WireMarks marks (*rig.ports);
    rig.engine->addStatusListener (&marks);

    rig.startAndBegin();
    const auto ms = rig.runToEnd();
    rig.engine->removeStatusListener (&marks);

    EXPECT_EQ (rig.listener.milestones(), concat ({ { "version 1.05" }, notesThenStop() }));
    EXPECT_TRUE (rig.engine->hasTuningResults());
    EXPECT_GT (ms, 150000.0);
    EXPECT_LT (ms, 230000.0);

    const auto check = checkStored (rig);
    expectWithin (check, sweepBoundCents);
    std::cout << "Sweep Tune, seed 1, knob 0: " << ms / 1000.0 << " s\n" << check.format() << std::endl;

    // What was committed is what the run accepted.
    const auto& results = rig.engine->getTuningResults();
    for (int note = 24; note <= 63; ++note)
        EXPECT_EQ (rig.machine->getStoredValue (note), results[(size_t) note].value) << note;

    // One value write per tick of the run but its last; then the completion.
    const auto wire = describeAll (rig.ports->getReceivedByMachine());
    const auto startLength = 41u + 2u;
    std::vector<std::string> completion;
    for (int note = 0; note <= 126; ++note)
        completion.push_back ("off " + std::to_string (note));
    for (int note = 24; note <= 63; ++note)
        completion.push_back ("write " + std::to_string (note) + " " + std::to_string (results[(size_t) note].value));
    for (int note = 24; note <= 63; ++note)
        completion.push_back ("request " + std::to_string (note));
    completion.push_back ("commit");

    ASSERT_EQ (wire.size(), startLength + 2u + (size_t) marks.runTicks + completion.size());
    std::vector<std::string> start;
    for (int note = 24; note <= 64; ++note)
        start.push_back ("request " + std::to_string (note));
    start.push_back ("write 24 65535");
    start.push_back ("on 24 127");
    EXPECT_EQ (std::vector<std::string> (wire.begin(), wire.begin() + startLength), start);
    EXPECT_EQ (wire[startLength], "write 24 65535");
    EXPECT_EQ (wire[startLength + 1], "write 24 65535");
    for (size_t i = startLength + 2; i < startLength + 2 + (size_t) marks.runTicks; ++i)
        ASSERT_EQ (wire[i].rfind ("write 24 ", 0), 0u) << i << ": " << wire[i];
    EXPECT_EQ (std::vector<std::string> (wire.end() - (long) completion.size(), wire.end()), completion);

    // tuningStopped before the note-offs, the progress 1.0 between them and the writes.
    const auto all = rig.ports->getReceivedByMachine();
    EXPECT_EQ (marks.atStopped, all.size() - completion.size());
    EXPECT_EQ (marks.atComplete, marks.atStopped + 127);
}

TEST (WholeCalibration, FineTuneCompletesAndTheStoredTableSoundsInTune)
{
    SimRig rig (machineOptions (1, 0.0));
    rig.engine->setTuningAlgorithm ("Fine Tune");
    rig.startAndBegin();
    const auto ms = rig.runToEnd();

    EXPECT_EQ (rig.listener.milestones(), concat ({ { "version 1.05" }, notesThenStop() }));
    EXPECT_GT (ms, 15000.0);
    EXPECT_LT (ms, 65000.0);

    const auto check = checkStored (rig);
    expectWithin (check, [] (int) { return fineBoundCents; });
    std::cout << "Fine Tune, seed 1, knob 0: " << ms / 1000.0 << " s\n" << check.format() << std::endl;

    // With Fine Tune the run starts from the read-back value of note 24.
    const auto wire = describeAll (rig.ports->getReceivedByMachine());
    EXPECT_EQ (wire[43], "write 24 65535");
    EXPECT_EQ (wire[44], "write 24 " + std::to_string (MachineState::factory().valueForNote (24)));
}

TEST (WholeCalibration, FineTuneActsOnlyOnFramesThatFollowedEachJump)
{
    // Without and with an audio interface that hands the machine's sound over
    // one and a half frames late (and says so).
    for (const int latency : { 0, 12288 })
    {
        SCOPED_TRACE (latency);
        SimRig rig (machineOptions (1, 0.0));
        rig.device()->setInputLatency (latency);
        rig.engine->setTuningAlgorithm ("Fine Tune");

        // A timeline of writes reaching the machine and notes starting, in samples.
        struct Event
        {
            bool noteStart;
            juce::int64 samples;
        };
        std::vector<Event> events;
        std::mutex eventsMutex;
        rig.machine->setLogSink ([&] (const juce::String& line) {
            if (line.startsWith ("VALUE 24 "))
            {
                const std::lock_guard<std::mutex> g (eventsMutex);
                events.push_back ({ false, rig.device()->getSamplesRendered() });
            }
        });
        struct NoteStarts : RecordingStatusListener
        {
            std::function<void()> onNote;
            void tuningNoteChanged (int) override { onNote(); }
        } starts;
        starts.onNote = [&] {
            const std::lock_guard<std::mutex> g (eventsMutex);
            events.push_back ({ true, rig.device()->getSamplesRendered() });
        };
        rig.engine->addStatusListener (&starts);

        rig.startAndBegin();
        rig.runToEnd();
        rig.engine->removeStatusListener (&starts);
        rig.machine->setLogSink ({});
        EXPECT_EQ (rig.listener.milestones().back(), "written new stored");

        int notesChecked = 0;
        for (size_t i = 0; i + 1 < events.size(); ++i)
        {
            if (! events[i].noteStart)
                continue;
            // The write just before is the jump; the next write is the first
            // step or, if the first usable estimate was on target, the next jump.
            size_t next = i + 1;
            while (next < events.size() && events[next].noteStart)
                ++next;
            ASSERT_LT (next, events.size());
            // The block after the jump, the latency and one block of margin may
            // hold the old pitch; two whole frames after that, the next tick.
            const auto unclean = events[i].samples + latency + 2 * 512;
            const auto firstUsable = ((unclean + 8191) / 8192 + 2) * 8192;
            EXPECT_GE (events[next].samples, firstUsable) << "note start " << notesChecked;
            EXPECT_LE (events[next].samples, firstUsable + 720 + 512) << "note start " << notesChecked;
            ++notesChecked;
        }
        EXPECT_EQ (notesChecked, 40);
    }
}

TEST (WholeCalibration, ReportAndUndoAfterACompletedRun)
{
    SimRig rig (machineOptions (1, 0.0));
    rig.engine->setTuningAlgorithm ("Fine Tune");
    const auto before = rig.machine->getStoredState();
    rig.startAndBegin();
    rig.runToEnd();
    ASSERT_TRUE (rig.engine->hasTuningResults());
    ASSERT_NE (rig.machine->getStoredState(), before);

    juce::TemporaryFile temp (".txt");
    ASSERT_TRUE (rig.engine->writeCalibrationReport (temp.getFile()));
    juce::StringArray lines;
    lines.addTokens (temp.getFile().loadFileAsString().replace ("\r\n", "\x01"), "\x01", {});
    ASSERT_EQ (lines.size(), 43);
    EXPECT_TRUE (lines[0].startsWith ("Tuning Results: "));
    const auto& results = rig.engine->getTuningResults();
    for (int note = 24; note <= 63; ++note)
        EXPECT_EQ (lines[note - 23], CalibrationReport::row (note, results[(size_t) note]));

    // Undo Tuning: the values read back at the start of the run, confirmed,
    // then a commit.
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
    const auto ms = rig.runToEnd();
    EXPECT_NEAR (ms, 120001.0, 30.0);
    EXPECT_EQ (rig.listener.milestones(), (std::vector<std::string> { "version 1.05", "note 24", "started", "stopped", "failed" }));
    EXPECT_EQ (rig.machine->getStoredState(), MachineState::factory());
}

TEST (WholeCalibration, TimeFromTheLastAcceptedNoteToTheCommit)
{
    SimRig rig (machineOptions (1, 0.0));
    rig.engine->setTuningAlgorithm ("Fine Tune");

    using Clock = std::chrono::steady_clock;
    Clock::time_point stopped {}, committed {};
    struct StopTime : RecordingStatusListener
    {
        std::function<void()> onStop;
        void tuningStopped() override { onStop(); }
    } stopTime;
    stopTime.onStop = [&] { stopped = Clock::now(); };
    rig.machine->setLogSink ([&] (const juce::String& line) {
        if (line == "STATE commit")
            committed = Clock::now();
    });
    rig.engine->addStatusListener (&stopTime);
    rig.startAndBegin();
    rig.runToEnd();
    rig.engine->removeStatusListener (&stopTime);
    rig.machine->setLogSink ({});

    const auto ms = std::chrono::duration<double, std::milli> (committed - stopped).count();
    std::cout << "last accepted note to commit: " << ms << " ms" << std::endl;
    // The 40 writes are paced 3 ms apart.
    EXPECT_GE (ms, 120.0);
}

TEST (WholeCalibration, FineTuneOfANearlyExactTableStaysInTune)
{
    // A second calibration, starting from the table a Sweep Tune just stored.
    SimRig rig (machineOptions (1, 0.0));
    rig.startAndBegin();
    rig.runToEnd();
    ASSERT_TRUE (rig.engine->hasTuningResults());

    rig.engine->setTuningAlgorithm ("Fine Tune");
    rig.listener.clear();
    ASSERT_TRUE (rig.engine->startTuningCalibration());
    rig.run (1000.0);
    ASSERT_TRUE (rig.engine->beginTuningRun());
    const auto ms = rig.runToEnd();
    EXPECT_EQ (rig.listener.milestones().back(), "written new stored");

    const auto check = checkStored (rig);
    expectWithin (check, [] (int) { return fineBoundCents; });
    std::cout << "Fine Tune after Sweep Tune: " << ms / 1000.0 << " s, " << check.getLargestAbsoluteCents()
              << " cents at most" << std::endl;
}

TEST (WholeCalibration, TheEnginesOwnReferenceValueIsNeverStored)
{
    // Each case ends a calibration without note 24's stored value in hand;
    // whatever follows, the machine must keep the table it stored before.
    struct Case
    {
        const char* name;
        // Whether note 24's stored value was read back at some point, so that
        // a later stop can give the machine's working note 24 back to it.
        bool referenceKnown;
        std::function<void (SimRig&)> loseTheReference;
    };
    const std::vector<Case> cases {
        { "reply of note 24 lost, then stop and Undo Tuning", false,
          [] (SimRig& rig) {
              rig.machine->dropNextReplies (1);
              ASSERT_TRUE (rig.engine->startTuningCalibration());
              rig.run (500.0);
              rig.engine->abortTuning();
              if (rig.engine->undoTuning())
              {
                  EXPECT_FALSE (rig.engine->commitCalibration());
              }
          } },
        { "reply of note 24 lost, start again (it now answers our value), stop, Undo Tuning", false,
          [] (SimRig& rig) {
              rig.machine->dropNextReplies (1);
              ASSERT_TRUE (rig.engine->startTuningCalibration());
              rig.run (500.0);
              ASSERT_TRUE (rig.engine->startTuningCalibration());
              rig.run (500.0);
              rig.engine->abortTuning();
              if (rig.engine->undoTuning())
              {
                  EXPECT_FALSE (rig.engine->commitCalibration());
              }
          } },
        { "unplugged during the run, replugged with power kept, started and stopped again", true,
          [] (SimRig& rig) {
              rig.engine->setTuningAlgorithm ("Sweep Tune");   // moves note 24 at once
              ASSERT_TRUE (rig.engine->startTuningCalibration());
              rig.run (500.0);
              ASSERT_TRUE (rig.engine->beginTuningRun());
              rig.run (300.0);
              rig.ports->setPlugged (false);
              rig.midi->timerCallback();   // the poll reports the loss: the run aborts
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
        // The machine answers with what each note holds now: a start made
        // while note 24 holds our value reads that value back.
        SimRig rig (machineOptions (1, 0.0));
        rig.engine->setTuningAlgorithm ("Fine Tune");
        rig.startAndBegin();
        rig.runToEnd();
        ASSERT_TRUE (rig.engine->hasTuningResults());
        const auto stored = rig.machine->getStoredState();

        c.loseTheReference (rig);
        EXPECT_EQ (rig.machine->getStoredState(), stored);

        // A later start and stop, with every reply arriving: still nothing of ours stored.
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
            // The results' writes are the first after the run stops.
            struct LoseOnStop : RecordingStatusListener
            {
                std::function<void()> onStop;
                void tuningStopped() override { onStop(); }
            } loseOnStop;
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

        const bool stored = juce::String (c.outcome).contains (" stored") && ! juce::String (c.outcome).contains ("not");
        for (int note = 24; note <= 63; ++note)
        {
            const auto expected = ! stored ? before.valueForNote (note)
                                  : c.run  ? rig.engine->getTuningResults()[(size_t) note].value
                                           : kDefaultCalibration[(size_t) (note - 24)];
            EXPECT_EQ (rig.machine->getStoredValue (note), expected) << "note " << note;
        }
    }
}

TEST (WholeCalibration, AudioThatStopsDuringARunEndsItWithTheReadBackValuesRestored)
{
    struct Case
    {
        const char* name;
        // Silences the analysis for ms of simulated time, the engine ticking on.
        std::function<void (SimRig&, double ms)> silence;
    };
    const auto tickWithoutAudio = [] (SimRig& rig, double ms) {
        for (double t = 0.0; t < ms && rig.engine->isTimerRunning(); t += TuneKestruneEngine::tickIntervalMs)
        {
            rig.clock.advanceMs (TuneKestruneEngine::tickIntervalMs);
            rig.engine->timerCallback();
        }
    };
    const std::vector<Case> cases {
        { "the audio device goes away",
          [tickWithoutAudio] (SimRig& rig, double ms) {
              rig.deviceManager->closeAudioDevice();
              tickWithoutAudio (rig, ms);
          } },
        { "the device runs on, but the machine's channel is no longer among its inputs",
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
        ASSERT_TRUE (rig.engine->isTuning());
        ASSERT_NE (rig.machine->getWorkingValue (24), before.valueForNote (24));

        c.silence (rig, 900.0);
        EXPECT_TRUE (rig.engine->isTuning()) << "ended before the audio had been gone a second";
        c.silence (rig, 200.0);
        ASSERT_FALSE (rig.engine->isTuning());

        const auto milestones = rig.listener.milestones();
        EXPECT_EQ (std::vector<std::string> (milestones.end() - 2, milestones.end()),
                   (std::vector<std::string> { "stopped", "failed" }));
        // The note stops, the values read back go back and are stored again.
        const auto wire = describeAll (rig.ports->getReceivedByMachine());
        std::vector<std::string> restore { "off 24" };
        for (int note = 24; note <= 63; ++note)
            restore.push_back ("write " + std::to_string (note) + " " + std::to_string (before.valueForNote (note)));
        restore.push_back ("commit");
        ASSERT_GE (wire.size(), restore.size());
        EXPECT_EQ (std::vector<std::string> (wire.end() - (long) restore.size(), wire.end()), restore);
        EXPECT_EQ (rig.machine->getSoundingNote(), -1);
        EXPECT_EQ (rig.machine->getWorkingValue (24), before.valueForNote (24));
        EXPECT_EQ (rig.machine->getStoredState(), before);
    }
}

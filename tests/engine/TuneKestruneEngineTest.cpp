#include "EngineTestSupport.h"

#include "midi/DeviceMessages.h"
#include "tuning/DefaultCalibration.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace enginetest;

namespace
{
juce::uint16 storedValue (int note)
{
    return (juce::uint16) (1000 + note);
}

std::vector<std::string> requests()
{
    std::vector<std::string> result;
    for (int note = 24; note <= 64; ++note)
        result.push_back ("request " + std::to_string (note));
    return result;
}

std::vector<std::string> writesOf (juce::uint16 (*valueFor) (int), int first = 24, int last = 63)
{
    std::vector<std::string> result;
    for (int note = first; note <= last; ++note)
        result.push_back ("write " + std::to_string (note) + " " + std::to_string (valueFor (note)));
    return result;
}

std::vector<std::string> startSequence()
{
    return concat ({ requests(), { "write 24 65535", "on 24 127" } });
}

struct EngineTest : ::testing::Test
{
    FakeRig rig;
};
} // namespace

//==============================================================================
TEST_F (EngineTest, StartIsRefusedUntilAVersionAbove1IsKnown)
{
    EXPECT_FALSE (rig.engine->startTuningCalibration());
    rig.replyVersion (0, 1, 0, 0);
    EXPECT_FALSE (rig.engine->startTuningCalibration());
    EXPECT_TRUE (rig.sent().empty());

    // Refused, the analysis stays installed and keeps reporting.
    rig.tick (12);
    EXPECT_EQ (rig.listener.count ("frequency"), 1);

    rig.replyVersion (0, 1, 0, 1);
    EXPECT_TRUE (rig.start());
    EXPECT_EQ (rig.sent(), startSequence());
}

TEST_F (EngineTest, IdentityRepliesArePublishedAndStopThePollAbove1)
{
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
    EXPECT_EQ (rig.engine->getFirmwareVersion(), 0.0);

    rig.replyVersion (0, 1, 0, 0);
    rig.replyVersion (0, 1, 0, 0);
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
    EXPECT_EQ (rig.engine->getFirmwareVersion(), 1.0);

    rig.replyVersion (0, 1, 0, 5);
    EXPECT_FALSE (rig.engine->isFirmwareQueryRunning());
    EXPECT_EQ (rig.engine->getFirmwareVersion(), 1.05);
    EXPECT_EQ (rig.listener.all(), (std::vector<std::string> { "version 1", "version 1", "version 1.05" }));

    // Starting a calibration and asking again restart the poll.
    EXPECT_TRUE (rig.engine->startTuningCalibration());
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
    rig.replyVersion (0, 1, 0, 5);
    EXPECT_FALSE (rig.engine->isFirmwareQueryRunning());
    rig.engine->queryFirmwareVersion();
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
}

TEST_F (EngineTest, NonSysexAndForeignMessagesAreIgnored)
{
    rig.ports->injectMessage (portName, juce::MidiMessage::noteOn (1, 24, (juce::uint8) 100));
    rig.ports->injectMessage (portName, juce::MidiMessage::midiClock());
    const juce::uint8 other[] = { 0xF0, 0x7E, 0x00, 0x06, 0x02, 0x41, 0x2A, 0xF7 };
    rig.ports->injectMessage (portName, juce::MidiMessage (other, (int) sizeof (other)));
    EXPECT_TRUE (rig.listener.all().empty());
    EXPECT_EQ (rig.engine->getFirmwareVersion(), 0.0);
}

TEST_F (EngineTest, FrequencyIsPublishedFromTheTwelfthTickAfterStart)
{
    rig.startListening();
    rig.tick (11);
    EXPECT_EQ (rig.listener.count ("frequency"), 0);
    rig.tick();
    EXPECT_EQ (rig.listener.all().back(), "frequency 0");
    rig.tick (3);
    EXPECT_EQ (rig.listener.count ("frequency"), 4);
}

TEST_F (EngineTest, TickDoesNothingWithoutAnAnalysisInstalled)
{
    rig.tick (20);
    EXPECT_TRUE (rig.listener.all().empty());
    EXPECT_TRUE (rig.sent().empty());
}

//==============================================================================
TEST_F (EngineTest, RunBeginsOnceEveryNote24To63HasAnswered)
{
    rig.startListening();
    rig.replyAll (24, 62, storedValue);
    EXPECT_FALSE (rig.engine->beginTuningRun());

    // Repeats and notes outside 24..63 do not stand in for the missing note.
    rig.reply (62, 5);
    rig.reply (64, 6);
    rig.reply (23, 7);
    rig.reply (100, 8);
    EXPECT_FALSE (rig.engine->beginTuningRun());
    EXPECT_FALSE (rig.engine->isTuning());

    rig.reply (63, storedValue (63));
    rig.ports->clearSent();
    EXPECT_TRUE (rig.engine->beginTuningRun());
    EXPECT_TRUE (rig.engine->isTuning());
    EXPECT_EQ (rig.sent(), (std::vector<std::string> { "write 24 65535", "write 24 65535" }));
    EXPECT_EQ (rig.listener.milestones(), (std::vector<std::string> { "note 24", "started" }));

    // The later of two replies for a note wins.
    EXPECT_EQ (rig.engine->getDeviceCalibrationValue (62), 5);
}

TEST_F (EngineTest, AnAnswerForEveryRequestIncludingNote64StillBegins)
{
    rig.startListening();
    rig.replyAll (24, 64, storedValue);
    EXPECT_TRUE (rig.engine->beginTuningRun());
}

TEST_F (EngineTest, RepliesBeforeTheLatestStartDoNotCount)
{
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    ASSERT_TRUE (rig.start());
    rig.replyAll (24, 62, storedValue);
    EXPECT_FALSE (rig.engine->beginTuningRun());
    rig.reply (63, 1);
    EXPECT_TRUE (rig.engine->beginTuningRun());
}

TEST_F (EngineTest, SecondBeginIsRefusedWhileARunExists)
{
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    ASSERT_TRUE (rig.engine->beginTuningRun());
    rig.listener.clear();
    EXPECT_FALSE (rig.engine->beginTuningRun());
    EXPECT_TRUE (rig.listener.all().empty());
}

TEST_F (EngineTest, FineTuneStartsFromTheReadBackValue)
{
    rig.engine->setTuningAlgorithm ("Fine Tune");
    EXPECT_EQ (rig.engine->getTuningAlgorithm(), "Fine Tune");
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    rig.reply (24, 60000);
    rig.ports->clearSent();
    ASSERT_TRUE (rig.engine->beginTuningRun());
    EXPECT_EQ (rig.sent(), (std::vector<std::string> { "write 24 65535", "write 24 60000" }));
}

TEST_F (EngineTest, AlgorithmNamesAndAnyStoredName)
{
    EXPECT_EQ (TuneKestruneEngine::getTuningAlgorithmNames(), juce::StringArray ("Sweep Tune", "Fine Tune"));
    EXPECT_EQ (rig.engine->getTuningAlgorithm(), "Sweep Tune");
    rig.engine->setTuningAlgorithm ("anything");
    EXPECT_EQ (rig.engine->getTuningAlgorithm(), "anything");
}

//==============================================================================
TEST_F (EngineTest, SilenceStepsOnEveryTickAndReportsProgress)
{
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    ASSERT_TRUE (rig.engine->beginTuningRun());
    rig.ports->clearSent();
    rig.listener.clear();

    // 0 Hz lies below every target: the value falls by 3 on every tick,
    // the estimate unchanged or not.
    rig.tick (12);
    std::vector<std::string> expected;
    for (int i = 1; i <= 12; ++i)
        expected.push_back ("write 24 " + std::to_string (65535 - 3 * i));
    EXPECT_EQ (rig.sent(), expected);
    EXPECT_EQ (rig.listener.count ("progress 0"), 12);
}

TEST_F (EngineTest, TimeOutFiresAt120001MsNotAt120000)
{
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    ASSERT_TRUE (rig.engine->beginTuningRun());
    rig.tick (12);

    rig.clock.advanceMs (120000);
    rig.tick();
    EXPECT_TRUE (rig.engine->isTuning());
    EXPECT_EQ (rig.listener.count ("failed"), 0);

    rig.ports->clearSent();
    rig.listener.clear();
    rig.clock.advanceMs (1);
    rig.tick();
    EXPECT_FALSE (rig.engine->isTuning());

    // The step of that tick, then the abort.
    const auto sent = rig.sent();
    ASSERT_FALSE (sent.empty());
    EXPECT_EQ (std::vector<std::string> (sent.begin() + 1, sent.end()),
               concat ({ { "off 24" }, writesOf (storedValue), { "commit" } }));
    EXPECT_EQ (rig.listener.milestones(), (std::vector<std::string> { "stopped", "failed" }));

    // Idle again: the tick is gone and nothing more is reported.
    EXPECT_FALSE (rig.engine->isTimerRunning());
    rig.listener.clear();
    rig.tick (20);
    EXPECT_TRUE (rig.listener.all().empty());
}

TEST_F (EngineTest, TimeOutCountsFromTheStartOfTheNoteAcrossCounterWrap)
{
    rig.clock.advanceMs (0xFFFFFFFFu - 1000u - 60000u); // near the 32-bit wrap
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    ASSERT_TRUE (rig.engine->beginTuningRun());
    rig.clock.advanceMs (120000);
    rig.tick();
    EXPECT_TRUE (rig.engine->isTuning());
    rig.clock.advanceMs (1);
    rig.tick();
    EXPECT_FALSE (rig.engine->isTuning());
}

//==============================================================================
TEST_F (EngineTest, AbortDuringTheKnobStepWritesTheReadBackValuesAndCommits)
{
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    rig.ports->clearSent();

    rig.engine->abortTuning();
    EXPECT_EQ (rig.sent(), concat ({ { "off 24" }, writesOf (storedValue), { "commit" } }));
    EXPECT_EQ (rig.listener.milestones(), std::vector<std::string> { "stopped" });
    EXPECT_FALSE (rig.engine->isTimerRunning());
}

TEST_F (EngineTest, AbortWritesBackOnlyNotesThatWereReadBack)
{
    rig.startListening();
    rig.reply (24, 500);
    rig.reply (40, 600);
    rig.reply (64, 700);
    rig.ports->clearSent();

    rig.engine->abortTuning();
    EXPECT_EQ (rig.sent(), (std::vector<std::string> { "off 24", "write 24 500", "write 40 600", "commit" }));
}

TEST_F (EngineTest, AbortDoesNotCommitWhenTheReferenceNoteWasNotReadBack)
{
    // Note 24 holds the lowest-pitch value written at the start; a commit
    // would make it the stored value.
    rig.startListening();
    rig.replyAll (25, 63, storedValue);
    rig.ports->clearSent();

    rig.engine->abortTuning();
    const auto sent = rig.sent();
    EXPECT_EQ (std::count (sent.begin(), sent.end(), "commit"), 0);
    EXPECT_EQ (std::count (sent.begin(), sent.end(), "write 25 " + std::to_string (storedValue (25))), 1);
    EXPECT_EQ (std::count_if (sent.begin(), sent.end(), [] (const std::string& m) { return m.rfind ("write 24 ", 0) == 0; }), 0);
}

TEST_F (EngineTest, AbortWithNothingReadBackWritesNothingAndDoesNotCommit)
{
    rig.startListening();
    rig.ports->clearSent();
    rig.engine->abortTuning();
    EXPECT_EQ (rig.sent(), std::vector<std::string> { "off 24" });
    EXPECT_FALSE (rig.engine->undoTuning());
    EXPECT_EQ (rig.sent(), std::vector<std::string> { "off 24" });
}

TEST_F (EngineTest, ValuesReadBackForAnEarlierCalibrationAreNotWrittenForALaterOne)
{
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    rig.engine->abortTuning();

    ASSERT_TRUE (rig.start());
    rig.reply (30, 42);
    rig.ports->clearSent();
    rig.engine->abortTuning();
    // Note 24 did not answer this time: its old value is not written, and
    // nothing is committed over the value the start wrote to it.
    EXPECT_EQ (rig.sent(), (std::vector<std::string> { "off 24", "write 30 42" }));
}

TEST_F (EngineTest, RestartingWhileTheReferenceNoteIsLoweredKeepsItsStoredValue)
{
    rig.startListening();
    rig.replyAll (24, 63, storedValue);

    // Start pressed again while listening: the machine now answers note 24
    // with the lowest-pitch value the engine wrote, not with its stored one.
    ASSERT_TRUE (rig.start());
    rig.reply (24, 0xFFFF);
    rig.replyAll (25, 63, storedValue);
    EXPECT_TRUE (rig.engine->beginTuningRun());
    rig.ports->clearSent();

    rig.engine->abortTuning();
    EXPECT_EQ (rig.sent(), concat ({ { "off 24" }, writesOf (storedValue), { "commit" } }));

    // Restored: the next start takes note 24's reply again.
    ASSERT_TRUE (rig.start());
    rig.reply (24, 1234);
    rig.ports->clearSent();
    rig.engine->abortTuning();
    EXPECT_EQ (rig.sent(), (std::vector<std::string> { "off 24", "write 24 1234", "commit" }));
}

TEST_F (EngineTest, ARunAfterRestoreDefaultStillLowersTheReferenceNoteForGood)
{
    // Restore Default in the knob step gives note 24 a value that may be
    // stored; the run that follows moves it again, and losing the output then
    // leaves the machine holding the run's value.
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    rig.engine->restoreDefaultCalibration();
    ASSERT_TRUE (rig.engine->beginTuningRun());
    rig.tick (3);
    rig.ports->unplugOutput (portName);
    rig.midi->timerCallback();
    rig.ports->plugOutput (portName);
    rig.midi->timerCallback();

    // A unit that answers with working values reports the run's value.
    ASSERT_TRUE (rig.start());
    rig.reply (24, 0xFFFF);
    rig.ports->clearSent();
    rig.engine->abortTuning();
    const auto sent = rig.sent();
    EXPECT_EQ (std::count (sent.begin(), sent.end(), "write 24 65535"), 0) << "the run's value written back";
}

TEST_F (EngineTest, LosingTheMidiOutputDuringARunAbortsWithoutFailure)
{
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    ASSERT_TRUE (rig.engine->beginTuningRun());
    rig.listener.clear();

    rig.ports->unplugOutput (portName);
    rig.midi->timerCallback();
    EXPECT_FALSE (rig.engine->isTuning());
    EXPECT_EQ (rig.listener.milestones(), std::vector<std::string> { "stopped" });
}

TEST_F (EngineTest, LosingTheMidiInputDuringARunAbortsButNotWhileListening)
{
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    rig.ports->unplugInput (portName);
    rig.midi->timerCallback();
    EXPECT_TRUE (rig.listener.milestones().empty());

    ASSERT_TRUE (rig.engine->beginTuningRun());
    rig.ports->plugInput (portName);
    rig.midi->timerCallback(); // reopened
    rig.ports->unplugInput (portName);
    rig.midi->timerCallback();
    EXPECT_FALSE (rig.engine->isTuning());
    EXPECT_EQ (rig.listener.milestones(), (std::vector<std::string> { "note 24", "started", "stopped" }));
}

TEST (EngineMachineGone, AMachineThatVanishesIsAskedForItsVersionAgainButNeverIntoAFirmwareStream)
{
    struct Case
    {
        const char* name;
        bool inputVanishes, streaming, asksAgain;
    };
    const Case cases[] = {
        { "output vanishes", false, false, true },
        { "input vanishes", true, false, true },
        { "output vanishes during a firmware update", false, true, false },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        FakeRig rig;
        rig.replyVersion (0, 1, 0, 5);
        ASSERT_FALSE (rig.engine->isFirmwareQueryRunning());
        if (c.streaming)
        {
            ASSERT_TRUE (rig.engine->startFirmwareUpdate (nullptr));
        }

        if (c.inputVanishes)
            rig.ports->unplugInput (portName);
        else
            rig.ports->unplugOutput (portName);
        rig.midi->timerCallback();
        EXPECT_EQ (rig.engine->isFirmwareQueryRunning(), c.asksAgain);

        // Back again, it answers and the asking stops.
        if (c.inputVanishes)
            rig.ports->plugInput (portName);
        else
            rig.ports->plugOutput (portName);
        rig.midi->timerCallback();
        rig.replyVersion (0, 1, 0, 5);
        EXPECT_FALSE (rig.engine->isFirmwareQueryRunning());
    }
}

//==============================================================================
TEST_F (EngineTest, RestoreDefaultWritesAsksBackAndCommitsOnlyWhatTheMachineConfirmed)
{
    const auto defaults = writesOf ([] (int note) { return kDefaultCalibration[(size_t) (note - 24)]; });
    std::vector<std::string> asks;
    for (int note = 24; note <= 63; ++note)
        asks.push_back ("request " + std::to_string (note));

    ASSERT_TRUE (rig.engine->restoreDefaultCalibration());
    EXPECT_TRUE (rig.tickUntilSent ("request 63"));
    EXPECT_EQ (rig.sent(), concat ({ defaults, asks }));
    EXPECT_FALSE (rig.engine->restoreDefaultCalibration()) << "one write at a time";
    rig.replyAll (24, 63, [] (int note) { return kDefaultCalibration[(size_t) (note - 24)]; });
    rig.tick();
    EXPECT_EQ (rig.sent(), concat ({ defaults, asks, { "commit" } }));
    EXPECT_FALSE (rig.engine->isWritingCalibration());
    EXPECT_EQ (rig.listener.milestones(), std::vector<std::string> { "written restore stored" });

    // Nothing answers: two more rounds of writes and requests, then no commit.
    rig.ports->clearSent();
    ASSERT_TRUE (rig.engine->restoreDefaultCalibration());
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_TRUE (rig.tickUntilSent ("request 63"));
        rig.clock.advanceMs (CalibrationWriter::replyWaitMs);
        rig.tick();
    }
    EXPECT_EQ (rig.sent(), concat ({ defaults, asks, defaults, asks, defaults, asks }));
    EXPECT_FALSE (rig.engine->isWritingCalibration());
    EXPECT_EQ (rig.listener.milestones().back(), "written restore not stored 40");
    EXPECT_FALSE (rig.engine->hasTuningResults());
}

TEST_F (EngineTest, ListenersAreCalledMostRecentFirstAndOnlyOnce)
{
    RecordingStatusListener second;
    rig.engine->addStatusListener (&second);
    rig.engine->addStatusListener (&second);
    rig.engine->addStatusListener (nullptr);
    rig.replyVersion (0, 1, 0, 5);
    EXPECT_EQ (second.all(), std::vector<std::string> { "version 1.05" });
    EXPECT_EQ (rig.listener.all(), std::vector<std::string> { "version 1.05" });

    rig.engine->removeStatusListener (&second);
    rig.replyVersion (0, 1, 0, 5);
    EXPECT_EQ (second.all().size(), 1u);
    EXPECT_EQ (rig.listener.all().size(), 2u);
}

TEST_F (EngineTest, DestructionSilencesEveryNoteBut127)
{
    rig.engine->removeStatusListener (&rig.listener);
    rig.engine = nullptr;
    std::vector<std::string> offs;
    for (int note = 0; note <= 126; ++note)
        offs.push_back ("off " + std::to_string (note));
    EXPECT_EQ (rig.sent(), offs);
}

#include "support/FakeRig.h"

#include "tuning/DefaultCalibration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace enginetest;

namespace
{
juce::uint16 storedValue (int note)
{
    return (juce::uint16) (1000 + note);
}

struct EngineTest : ::testing::Test
{
    FakeRig rig;
};
} // namespace

TEST_F (EngineTest, StartWaitsForAVersionAbove1AndThePollStopsOnceOneIsKnown)
{
    rig.tick (20);   // no analysis installed yet: nothing to report or send
    rig.ports->injectMessage (portName, juce::MidiMessage::noteOn (1, 24, (juce::uint8) 100));
    EXPECT_FALSE (rig.engine->startTuningCalibration());
    rig.replyVersion (0, 1, 0, 0);
    EXPECT_FALSE (rig.engine->startTuningCalibration());
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
    EXPECT_TRUE (rig.sent().empty());
    rig.tick (20);   // a refused start leaves nothing listening: no measurements
    EXPECT_EQ (rig.listener.all(), (std::vector<std::string> { "version 1" }));

    rig.replyVersion (0, 1, 0, 1);
    EXPECT_FALSE (rig.engine->isFirmwareQueryRunning());
    EXPECT_TRUE (rig.start());
    EXPECT_EQ (rig.sent(), concat ({ messagesFor ("request", 24, 64), { "write 24 65535", "on 24 127" } }));
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning()) << "a start asks again";
}

TEST_F (EngineTest, ReadBackTakesOnlyAnswersToItsOwnRequestsAndSoundsNote24OnceAllAreIn)
{
    rig.engine->setTuningAlgorithm ("Fine Tune");
    rig.replyVersion (0, 1, 0, 5);
    rig.reply (30, 7);   // before any request: not ours
    ASSERT_TRUE (rig.engine->startTuningCalibration());
    ASSERT_TRUE (rig.tickUntilSent ("request 64"));
    rig.replyAll (24, 62, storedValue);
    for (const int note : { 62, 23, 100 })   // a repeat, notes never asked for
        rig.reply (note, 5);
    rig.tick (3);
    EXPECT_EQ (rig.sent().back(), "request 64") << "nothing of ours before every note has answered";
    EXPECT_FALSE (rig.engine->beginTuningRun());

    rig.reply (63, storedValue (63));
    ASSERT_TRUE (rig.tickUntilSent ("on 24 127"));
    rig.reply (24, 0xFFFF);   // the echo of our own write on a thru port
    EXPECT_EQ (rig.engine->getNumIgnoredReplies(), 5);
    EXPECT_EQ (rig.engine->getDeviceCalibrationValue (62), storedValue (62)) << "the first answer counts";
    for (const int outside : { -1, TuneKestruneEngine::tableSize })
        EXPECT_EQ (rig.engine->getDeviceCalibrationValue (outside), 0);
    rig.ports->clearSent();
    rig.listener.clear();
    EXPECT_TRUE (rig.engine->beginTuningRun());
    // Fine Tune starts from note 24's stored value, not from the echo.
    EXPECT_EQ (rig.sent(), (std::vector<std::string> { "write 24 65535", "write 24 1024" }));
    EXPECT_EQ (rig.listener.milestones(), (std::vector<std::string> { "note 24", "started" }));
    EXPECT_FALSE (rig.engine->beginTuningRun());
}

TEST_F (EngineTest, AStartNotAnsweredWithinASecondEndsAsFailedHavingChangedNothing)
{
    rig.replyVersion (0, 1, 0, 5);
    ASSERT_TRUE (rig.engine->startTuningCalibration());
    ASSERT_TRUE (rig.tickUntilSent ("request 64"));
    rig.replyAll (24, 62, storedValue);
    rig.clock.advanceMs (999);
    rig.tick();
    EXPECT_TRUE (rig.engine->isCalibrating());
    rig.clock.advanceMs (1);
    rig.tick();
    rig.reply (63, storedValue (63));   // too late
    rig.tick (40);
    EXPECT_FALSE (rig.engine->isCalibrating());
    EXPECT_EQ (rig.sent(), messagesFor ("request", 24, 64));
    EXPECT_EQ (rig.listener.milestones(), (std::vector<std::string> { "version 1.05", "stopped", "failed" }));
}

TEST (EngineTimeOut, SilenceStepsEveryTickAndTheNoteTimesOutAt120001MsAcrossTheCounterWrap)
{
    for (const juce::uint32 offset : { 0u, 0xFFFFFFFFu - 61000u })
    {
        SCOPED_TRACE (offset);
        FakeRig rig;
        rig.clock.advanceMs (offset);
        rig.startListening();
        rig.replyAll (24, 63, storedValue);
        ASSERT_TRUE (rig.engine->beginTuningRun());
        rig.ports->clearSent();
        rig.tick (3);   // 0 Hz lies below every target: the value falls by 3 on every tick
        EXPECT_EQ (rig.sent(), (std::vector<std::string> { "write 24 65532", "write 24 65529", "write 24 65526" }));
        const auto events = rig.listener.all();
        EXPECT_EQ (std::count (events.begin(), events.end(), "progress 0"), 3);

        rig.clock.advanceMs (120000);
        rig.tick();
        EXPECT_TRUE (rig.engine->isTuning());
        rig.ports->clearSent();
        rig.listener.clear();
        rig.clock.advanceMs (1);
        rig.tick();
        EXPECT_FALSE (rig.engine->isTuning());
        // The step of that tick, then the restore, which waits to be confirmed.
        const auto sent = rig.sent();
        ASSERT_GE (sent.size(), 3u);
        EXPECT_EQ (std::vector<std::string> (sent.begin() + 1, sent.begin() + 3), (std::vector<std::string> { "off 24", "write 24 1024" }));
        EXPECT_EQ (rig.listener.milestones(), (std::vector<std::string> { "stopped", "failed" }));
        EXPECT_TRUE (rig.engine->isWritingCalibration());
    }
}

TEST (EngineAbort, WritesTheStoredTableBackAndCommitsOnlyOnceTheMachineConfirmedAllOfIt)
{
    const auto restore = concat ({ messagesFor ("write", 24, 63, storedValue), messagesFor ("request", 24, 63) });
    struct Case
    {
        const char* name;
        bool knobStep;   // otherwise stopped during the read-back
        std::function<void (FakeRig&)> answer;
        std::vector<std::string> sent;
        std::vector<std::string> milestones;
    };
    const std::vector<Case> cases {
        { "every value confirmed", true, [] (FakeRig& r) { r.replyAll (24, 63, storedValue); },
          concat ({ { "off 24" }, restore, { "commit" } }), { "stopped", "written restore stored" } },
        { "note 24's write lost: written again, every value asked again", true,
          [] (FakeRig& r) {
              r.reply (24, 0xFFFF), r.replyAll (25, 63, storedValue);
              r.tick();
              ASSERT_TRUE (r.tickUntilSent ("request 63"));
              r.replyAll (24, 63, storedValue);
          },
          concat ({ { "off 24" }, restore, { "write 24 1024" }, messagesFor ("request", 24, 63), { "commit" } }),
          { "stopped", "written restore stored" } },
        { "nothing answers: nothing stored, note 24 left changed", true, [] (FakeRig&) {},
          concat ({ { "off 24" }, restore, restore, restore }), { "stopped", "written restore not stored 40, left changed 1" } },
        { "stopped during the read-back: nothing was changed", false, [] (FakeRig&) {}, {}, { "stopped" } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        FakeRig rig;
        rig.replyVersion (0, 1, 0, 5);
        ASSERT_TRUE (c.knobStep ? rig.start() : rig.engine->startTuningCalibration());
        rig.ports->clearSent();
        rig.listener.clear();
        rig.engine->abortTuning();
        ASSERT_TRUE (! c.knobStep || rig.tickUntilSent ("request 63"));
        c.answer (rig);
        rig.finishWrites();
        EXPECT_EQ (rig.sent(), c.sent);
        EXPECT_EQ (rig.listener.milestones(), c.milestones);
        // Nothing unconfirmed may be stored by hand either.
        EXPECT_EQ (rig.engine->commitCalibration(), c.milestones.back() != "written restore not stored 40, left changed 1");
    }
}

TEST (EngineAbort, AfterAWriteTheMachineDidNotConfirmAReadBackIsNotTakenForTheStoredTable)
{
    FakeRig rig;
    rig.startListening();
    rig.engine->abortTuning();
    ASSERT_TRUE (rig.tickUntilSent ("request 63"));
    rig.replyAll (24, 63, storedValue);
    rig.tick();
    // Restore Default, then the restore after it: nothing answers.
    ASSERT_TRUE (rig.engine->restoreDefaultCalibration());
    rig.finishWrites();
    EXPECT_EQ (rig.listener.milestones().back(), "written default not stored 40, left changed 40");
    EXPECT_TRUE (rig.engine->hasUnrestoredChanges());

    // The machine now answers with the default values it was partly given.
    rig.machineValue = [] (int note) { return defaultCalibration[(size_t) (note - 24)]; };
    ASSERT_TRUE (rig.start());
    EXPECT_EQ (rig.engine->getDeviceCalibrationValue (40), storedValue (40));
    rig.ports->clearSent();
    rig.engine->abortTuning();
    ASSERT_TRUE (rig.tickUntilSent ("request 63"));
    EXPECT_EQ (rig.sent(), concat ({ { "off 24" }, messagesFor ("write", 24, 63, storedValue), messagesFor ("request", 24, 63) }));
}

TEST_F (EngineTest, RestoreDefaultCommitsOnlyWhatTheMachineConfirmed)
{
    const auto defaultValue = [] (int note) { return defaultCalibration[(size_t) (note - 24)]; };
    const auto round = concat ({ messagesFor ("write", 24, 63, defaultValue), messagesFor ("request", 24, 63) });
    ASSERT_TRUE (rig.engine->restoreDefaultCalibration());
    EXPECT_TRUE (rig.tickUntilSent ("request 63"));
    EXPECT_FALSE (rig.engine->restoreDefaultCalibration()) << "one write at a time";
    rig.replyAll (24, 62, defaultValue);
    rig.tick();
    EXPECT_EQ (rig.sent(), round) << "no commit while note 63 is unconfirmed";
    rig.reply (63, defaultValue (63));
    rig.tick();
    EXPECT_EQ (rig.listener.milestones(), std::vector<std::string> { "written default stored" });

    rig.engine->removeStatusListener (&rig.listener);
    rig.engine = nullptr;   // destruction silences every note but 127
    EXPECT_EQ (rig.sent(), concat ({ round, { "commit" }, messagesFor ("off", 0, 126) }));
}

// Replies on the MIDI input thread while the message thread works: for TSan, and
// without it, nothing hangs and no value crosses notes.
TEST (EngineConcurrency, RepliesOnAnotherThreadWhileTheMessageThreadWorks)
{
    FakeRig rig;
    rig.replyVersion (0, 1, 0, 5);
    std::atomic<bool> stop { false }, answering { true };
    std::thread midiInput ([&] {
        for (int i = 0; ! stop.load(); ++i)
        {
            if (! answering.load())
            {
                std::this_thread::yield();
                continue;
            }
            rig.reply (24 + i % 41, (juce::uint16) (1000 + i % 41));
            if (i % 5 == 0)
                rig.replyVersion (0, 1, 0, (juce::uint8) (5 + i % 3));
        }
    });
    for (int round = 0; round < 4; ++round)
    {
        answering = true;
        RecordingStatusListener extra;
        rig.engine->addStatusListener (&extra);
        ASSERT_TRUE (rig.engine->startTuningCalibration());
        while (! rig.engine->beginTuningRun())
            rig.tick();
        rig.tick (20);
        rig.engine->queryFirmwareVersion();
        rig.engine->removeStatusListener (&extra);
        rig.engine->abortTuning();
        // The restore runs on simulated time: a reply thread slower than the
        // ticks (TSan, a loaded machine) would keep it retrying past any bound.
        answering = false;
        rig.finishWrites();
    }
    stop = true;
    midiInput.join();

    // Every note the machine answered is written back with a value it sent for that note.
    rig.ports->clearSent();
    ASSERT_TRUE (rig.engine->undoTuning());
    ASSERT_FALSE (rig.sent().empty());
    for (const auto& text : rig.sent())
    {
        int note = 0, value = 0;
        ASSERT_EQ (std::sscanf (text.c_str(), "write %d %d", &note, &value), 2) << text;
        EXPECT_EQ (value, 1000 + note - 24) << text;
    }
}

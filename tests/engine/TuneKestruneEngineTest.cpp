#include "EngineTestSupport.h"

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

const auto restoreStored = concat ({ { "off 24" }, messagesFor ("write", 24, 63, storedValue), { "commit" } });

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

    rig.replyVersion (0, 1, 0, 1);
    EXPECT_FALSE (rig.engine->isFirmwareQueryRunning());
    EXPECT_TRUE (rig.start());
    EXPECT_EQ (rig.sent(), concat ({ messagesFor ("request", 24, 64), { "write 24 65535", "on 24 127" } }));
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning()) << "a start asks again";
}

TEST_F (EngineTest, RunBeginsOnlyOnceEveryNote24To63AnsweredThisStart)
{
    rig.engine->setTuningAlgorithm ("Fine Tune");
    rig.startListening();
    rig.replyAll (24, 63, storedValue);
    ASSERT_TRUE (rig.start());   // replies to the earlier start no longer count
    rig.replyAll (24, 62, storedValue);
    for (const int note : { 62, 64, 23, 100 })   // repeats and notes outside 24..63
        rig.reply (note, 5);
    EXPECT_FALSE (rig.engine->beginTuningRun());
    EXPECT_EQ (rig.engine->getDeviceCalibrationValue (62), 5) << "the later of two replies wins";

    rig.reply (63, storedValue (63));
    rig.reply (24, 0xFFFF);   // what note 24 holds since the first start
    rig.ports->clearSent();
    rig.listener.clear();
    EXPECT_TRUE (rig.engine->beginTuningRun());
    // Fine Tune starts from note 24's stored value, read back at the first start.
    EXPECT_EQ (rig.sent(), (std::vector<std::string> { "write 24 65535", "write 24 1024" }));
    EXPECT_EQ (rig.listener.milestones(), (std::vector<std::string> { "note 24", "started" }));
    EXPECT_FALSE (rig.engine->beginTuningRun());
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
        const auto sent = rig.sent();   // the step of that tick, then the restore
        EXPECT_EQ (std::vector<std::string> (sent.begin() + 1, sent.end()), restoreStored);
        EXPECT_EQ (rig.listener.milestones(), (std::vector<std::string> { "stopped", "failed" }));
        EXPECT_FALSE (rig.engine->isTimerRunning());
    }
}

TEST (EngineAbort, WritesBackOnlyWhatThisStartReadBackAndCommitsOnlyWithNote24Known)
{
    // Note 24 holds the lowest pitch from the start: a commit without its read-back value stores that.
    struct Case
    {
        const char* name;
        std::function<void (FakeRig&)> before;
        std::vector<std::string> sent;
    };
    const std::vector<Case> cases {
        { "knob step, every note read back", [] (FakeRig& r) { r.replyAll (24, 63, storedValue); }, restoreStored },
        { "some notes, and 64", [] (FakeRig& r) { r.reply (24, 500), r.reply (40, 600), r.reply (64, 700); },
          { "off 24", "write 24 500", "write 40 600", "commit" } },
        { "note 24 not read back", [] (FakeRig& r) { r.replyAll (25, 63, storedValue); },
          concat ({ { "off 24" }, messagesFor ("write", 25, 63, storedValue) }) },
        { "nothing read back", [] (FakeRig&) {}, { "off 24" } },
        { "values of an earlier start",
          [] (FakeRig& r) { r.replyAll (24, 63, storedValue), r.engine->abortTuning(), r.start(), r.reply (30, 42); },
          { "off 24", "write 30 42" } },
        { "a restart answered with the lowered note 24",
          [] (FakeRig& r) {
              r.replyAll (24, 63, storedValue);
              ASSERT_TRUE (r.start());
              r.reply (24, 0xFFFF);
              r.replyAll (25, 63, storedValue);
              ASSERT_TRUE (r.engine->beginTuningRun());
          },
          restoreStored },
        { "a start after such a restart was undone takes note 24's reply again",
          [] (FakeRig& r) {
              r.replyAll (24, 63, storedValue);
              ASSERT_TRUE (r.start());
              r.reply (24, 0xFFFF);
              r.engine->abortTuning();
              ASSERT_TRUE (r.start());
              r.reply (24, 1234);
          },
          { "off 24", "write 24 1234", "commit" } },
        { "a run after an unconfirmed Restore Default, output lost, restarted",
          [] (FakeRig& r) {
              r.replyAll (24, 63, storedValue);
              r.engine->restoreDefaultCalibration();
              ASSERT_TRUE (r.engine->beginTuningRun());
              r.tick (3);
              r.ports->unplugOutput (portName);
              r.midi->timerCallback();
              r.ports->plugOutput (portName);
              r.midi->timerCallback();
              ASSERT_TRUE (r.start());
              r.reply (24, 0xFFFF);   // the run's value is no stored value
          },
          { "off 24", "write 24 1024", "commit" } },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        FakeRig rig;
        rig.startListening();
        c.before (rig);
        rig.ports->clearSent();
        rig.listener.clear();
        rig.engine->abortTuning();
        EXPECT_EQ (rig.sent(), c.sent);
        EXPECT_EQ (rig.listener.milestones(), std::vector<std::string> { "stopped" });
        EXPECT_FALSE (rig.engine->isTimerRunning());
        EXPECT_EQ (rig.engine->undoTuning(), c.sent.size() > 1);
    }
}

TEST_F (EngineTest, RestoreDefaultCommitsOnlyWhatTheMachineConfirmed)
{
    const auto defaultValue = [] (int note) { return kDefaultCalibration[(size_t) (note - 24)]; };
    const auto round = concat ({ messagesFor ("write", 24, 63, defaultValue), messagesFor ("request", 24, 63) });
    ASSERT_TRUE (rig.engine->restoreDefaultCalibration());
    EXPECT_TRUE (rig.tickUntilSent ("request 63"));
    EXPECT_FALSE (rig.engine->restoreDefaultCalibration()) << "one write at a time";
    rig.replyAll (24, 62, defaultValue);
    rig.tick();
    EXPECT_EQ (rig.sent(), round) << "no commit while note 63 is unconfirmed";
    rig.reply (63, defaultValue (63));
    rig.tick();
    EXPECT_EQ (rig.listener.milestones(), std::vector<std::string> { "written restore stored" });

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
    std::atomic<bool> stop { false };
    std::thread midiInput ([&] {
        for (int i = 0; ! stop.load(); ++i)
        {
            rig.reply (24 + i % 41, (juce::uint16) (1000 + i % 41));
            if (i % 5 == 0)
                rig.replyVersion (0, 1, 0, (juce::uint8) (5 + i % 3));
        }
    });
    for (int round = 0; round < 4; ++round)
    {
        RecordingStatusListener extra;
        rig.engine->addStatusListener (&extra);
        ASSERT_TRUE (rig.engine->startTuningCalibration());
        rig.tick (13);
        while (! rig.engine->beginTuningRun())
            std::this_thread::yield();
        rig.tick (20);
        rig.engine->queryFirmwareVersion();
        rig.engine->removeStatusListener (&extra);
        rig.engine->abortTuning();
        EXPECT_GE (rig.engine->getFirmwareVersion(), 1.05);
    }
    stop = true;
    midiInput.join();

    // Every note the machine answered is written back with a value it sent for that note.
    rig.ports->clearSent();
    ASSERT_TRUE (rig.engine->undoTuning());
    for (const auto& text : rig.sent())
    {
        int note = 0, value = 0;
        ASSERT_EQ (std::sscanf (text.c_str(), "write %d %d", &note, &value), 2) << text;
        EXPECT_EQ (value, 1000 + note - 24) << text;
    }
}

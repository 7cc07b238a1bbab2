#include "EngineTestSupport.h"

#include "midi/DeviceMessages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace enginetest;

// Replies and identity replies arrive on the MIDI input thread while the
// message thread ticks, starts, begins, aborts and (un)registers listeners.
// Meant for ThreadSanitizer; without it, it still checks that nothing hangs
// and that the counts stay consistent.
TEST (EngineConcurrency, RepliesOnAnotherThreadWhileTheMessageThreadWorks)
{
    FakeRig rig;
    rig.replyVersion (0, 1, 0, 5);

    std::atomic<bool> stop { false };
    std::atomic<int> delivered { 0 };
    std::thread midiInput ([&] {
        for (int i = 0; ! stop.load(); ++i)
        {
            rig.reply (24 + i % 41, (juce::uint16) (1000 + i % 41));
            if (i % 5 == 0)
                rig.replyVersion (0, 1, 0, (juce::uint8) (5 + i % 3));
            ++delivered;
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
        EXPECT_TRUE (rig.engine->isTuning());
        rig.tick (20);
        rig.engine->queryFirmwareVersion();
        rig.engine->removeStatusListener (&extra);
        rig.engine->abortTuning();
        EXPECT_GE (rig.engine->getFirmwareVersion(), 1.05);
    }

    stop = true;
    midiInput.join();
    EXPECT_GT (delivered.load(), 41);

    // Whatever interleaving: every note the machine answered is written back
    // with a value it sent for that note.
    rig.ports->clearSent();
    ASSERT_TRUE (rig.engine->undoTuning());
    for (const auto& text : rig.sent())
    {
        int note = 0, value = 0;
        ASSERT_EQ (std::sscanf (text.c_str(), "write %d %d", &note, &value), 2) << text;
        EXPECT_EQ (value, 1000 + note - 24) << text;
    }
}

#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "sim/model/SimulatedClock.h"
#include "support/FakeMidiPortSystem.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
struct RecordingListener : MidiManager::Listener
{
    void midiMessageReceived (MidiInputPort*, const juce::MidiMessage&) override { ++received; }
    void midiInputDeviceRemoved (const juce::String& name) override { removed.add ("in " + name), onInputRemoved(); }
    void midiOutputDeviceRemoved (const juce::String& name) override { removed.add ("out " + name); }

    std::atomic<int> received { 0 };
    juce::StringArray removed;
    std::function<void()> onInputRemoved = [] {};
};

struct MidiManagerTest : ::testing::Test
{
    SimulatedClock clock;
    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr manager = new MidiManager (ports, clock);
    RecordingListener listener;

    void SetUp() override { manager->addListener (&listener); }
    void plug (juce::StringArray names, bool andOpen = true)
    {
        for (const auto& name : names)
            ports->plugInput (name), ports->plugOutput (name);
        for (const auto& name : names)
            if (andOpen)
                manager->openInputDevice (name), manager->openOutputDevice (name);
    }
    void unplug (const juce::String& name) { ports->unplugInput (name), ports->unplugOutput (name); }
    void expectOpen (juce::StringArray names)
    {
        EXPECT_EQ (manager->getOpenInputDeviceNames(), names);
        EXPECT_EQ (manager->getOpenOutputDeviceNames(), names);
    }
};
} // namespace

TEST_F (MidiManagerTest, OpensEveryPortOfTheExactNameOnceAndDeliversCompleteMessagesOnce)
{
    plug ({ "kestrune" }, false);
    plug ({ "Kestrune", "Kestrune" }); // two ports share the name
    manager->openOutputDevice ("Missing");
    expectOpen ({ "Kestrune", "Kestrune" });
    EXPECT_EQ (ports->getNumStartedInputs(), 2);
    EXPECT_EQ (manager->sendMessageToAllOutputs (DeviceMessages::identityRequest()), 2);
    EXPECT_EQ (manager->sendMessageToOutput ("Kestrune", DeviceMessages::calibrationCommit()), 2);
    EXPECT_EQ (manager->sendMessageToOutput ("kestrune", DeviceMessages::calibrationCommit()), 0);
    EXPECT_EQ (ports->sentTo ("Kestrune").size(), 4u);

    manager->addListener (&listener); // already registered
    manager->addListener (nullptr);
    ports->injectMessage ("Kestrune", DeviceMessages::noteOn (24));
    const juce::uint8 fragment[] = { 0xF0, 0x47, 0x00 };
    ports->injectPartialSysex ("Kestrune", fragment, 3);
    EXPECT_EQ (listener.received, 2) << "once from each port, and no fragment";
}

TEST_F (MidiManagerTest, VanishedPortsAreReportedOnceAndReopenedSilentlyWhenListedAgain)
{
    plug ({ "K", "B" });
    ports->plugOutput ("Never opened");
    unplug ("K");
    manager->timerCallback();
    manager->timerCallback();
    EXPECT_EQ (listener.removed, juce::StringArray ("in K", "out K"));
    expectOpen ({ "B" });

    // Closing every port does not forget the missing ones.
    manager->closeAllInputDevices();
    manager->closeAllOutputDevices();
    EXPECT_EQ (manager->sendMessageToAllOutputs (DeviceMessages::calibrationCommit()), 0);
    manager->openInputDevice ("B");
    manager->openOutputDevice ("B");
    plug ({ "K" }, false);
    manager->timerCallback();
    expectOpen ({ "B", "K" });
    EXPECT_EQ (listener.removed.size(), 2);
    EXPECT_TRUE (ports->allSent().empty());
}

TEST_F (MidiManagerTest, AReopenThatFailsIsTriedAgainLessAndLessOften)
{
    plug ({ "K" });
    unplug ("K");
    manager->timerCallback();
    ports->failOpens = true; // listed again, but not yet accepting connections
    plug ({ "K" }, false);
    std::vector<juce::uint32> attempts;
    for (juce::uint32 ms = 0; ms <= 1000; ms += 50, clock.advanceMs (50))
        if (const auto calls = ports->getNumOpenCalls(); manager->timerCallback(), ports->getNumOpenCalls() > calls)
            attempts.push_back (ms);
    EXPECT_EQ (attempts, (std::vector<juce::uint32> { 0, 100, 300, 700 }));
    ports->failOpens = false;
    clock.advanceMs (MidiManager::longestRetryDelayMs);
    manager->timerCallback();
    expectOpen ({ "K" });
}

// A listener's write-back from the removal of an input reaches an output
// still there, but not one that vanished with the input, although the
// platform's port would still take the bytes.
TEST_F (MidiManagerTest, SendingFromTheRemovalCallbackReachesOnlyOutputsStillThere)
{
    plug ({ "Gone", "Stays" });
    int taken = -1;
    listener.onInputRemoved = [&] { taken = manager->sendMessageToAllOutputs (DeviceMessages::noteOff (24)); };
    ports->unplugInput ("Stays");
    manager->timerCallback();
    EXPECT_EQ (taken, 2);
    unplug ("Gone");
    manager->timerCallback();
    EXPECT_EQ (taken, 1);
}

TEST_F (MidiManagerTest, ListenersMayComeAndGoWhileAnotherThreadDelivers)
{
    plug ({ "In" });
    std::atomic<bool> stop { false };
    std::thread midiThread ([&] {
        while (! stop)
            ports->injectMessage ("In", DeviceMessages::noteOn (24));
    });
    std::vector<std::unique_ptr<RecordingListener>> extra;
    for (int i = 0; i < 200; ++i, std::this_thread::yield())
    {
        extra.push_back (std::make_unique<RecordingListener>());
        manager->addListener (extra.back().get());
        // Once removed, a listener may be destroyed at once: no delivery is still running into it.
        if (i % 2 == 1)
            manager->removeListener (extra.back().get()), extra.pop_back();
    }
    while (listener.received < 100)
        std::this_thread::yield();
    stop = true;
    midiThread.join();
    EXPECT_GT (extra.front()->received.load(), 0);
}

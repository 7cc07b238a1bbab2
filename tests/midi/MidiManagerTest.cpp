#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "sim/model/SimulatedClock.h"
#include "support/FakeMidiPortSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace
{
struct RecordingListener : MidiManager::Listener
{
    void midiMessageReceived (MidiInputPort*, const juce::MidiMessage&) override { ++received; }
    void midiInputDeviceRemoved (const juce::String& name) override { inputsRemoved.add (name); onInputRemoved(); }
    void midiOutputDeviceRemoved (const juce::String& name) override { outputsRemoved.add (name); }

    std::atomic<int> received { 0 };
    juce::StringArray inputsRemoved, outputsRemoved;
    std::function<void()> onInputRemoved = [] {};
};

struct MidiManagerTest : ::testing::Test
{
    SimulatedClock clock;
    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr manager = new MidiManager (ports, clock);
    RecordingListener listener;

    void SetUp() override { manager->addListener (&listener); }

    // Plugs an input and an output of each name, then opens them.
    void plugAndOpen (juce::StringArray names)
    {
        for (const auto& name : names)
            ports->plugInput (name), ports->plugOutput (name);
        for (const auto& name : names)
            manager->openInputDevice (name), manager->openOutputDevice (name);
    }
    void unplug (const juce::String& name)
    {
        ports->unplugInput (name);
        ports->unplugOutput (name);
    }
};
} // namespace

TEST_F (MidiManagerTest, OpensEveryPortOfTheExactNameOnceAndDeliversCompleteMessagesOnce)
{
    ports->plugOutput ("kestrune");
    ports->plugOutput ("Missing too");
    plugAndOpen ({ "Kestrune", "Kestrune" });  // two ports share the name
    manager->openOutputDevice ("Missing");
    EXPECT_EQ (manager->getOpenInputDeviceNames(), juce::StringArray ("Kestrune", "Kestrune"));
    EXPECT_EQ (manager->getOpenOutputDeviceNames(), juce::StringArray ("Kestrune", "Kestrune"));
    EXPECT_EQ (ports->getNumStartedInputs(), 2);

    EXPECT_EQ (manager->sendMessageToAllOutputs (DeviceMessages::identityRequest()), 2);
    EXPECT_EQ (manager->sendMessageToOutput ("Kestrune", DeviceMessages::calibrationCommit()), 2);
    EXPECT_EQ (manager->sendMessageToOutput ("kestrune", DeviceMessages::calibrationCommit()), 0);
    EXPECT_EQ (ports->sentTo ("Kestrune").size(), 4u);
    EXPECT_TRUE (ports->sentTo ("kestrune").empty());

    manager->addListener (&listener); // already registered
    manager->addListener (nullptr);
    ports->injectMessage ("Kestrune", DeviceMessages::noteOn (24));
    const juce::uint8 fragment[] = { 0xF0, 0x47, 0x00 };
    ports->injectPartialSysex ("Kestrune", fragment, 3);
    EXPECT_EQ (listener.received, 2); // once from each port, and no fragment
}

TEST_F (MidiManagerTest, VanishedPortsAreReportedOnceAndReopenedSilentlyWhenListedAgain)
{
    plugAndOpen ({ "K", "B" });
    ports->plugOutput ("Never opened");
    unplug ("K");
    manager->timerCallback();
    manager->timerCallback();
    EXPECT_EQ (listener.inputsRemoved, juce::StringArray ("K"));
    EXPECT_EQ (listener.outputsRemoved, juce::StringArray ("K"));
    EXPECT_EQ (manager->getOpenInputDeviceNames(), juce::StringArray ("B"));
    EXPECT_EQ (manager->getOpenOutputDeviceNames(), juce::StringArray ("B"));

    // Closing every port does not forget the missing ones.
    manager->closeAllInputDevices();
    manager->closeAllOutputDevices();
    EXPECT_EQ (manager->sendMessageToAllOutputs (DeviceMessages::calibrationCommit()), 0);
    manager->openOutputDevice ("B");
    ports->plugInput ("K");
    ports->plugOutput ("K");
    manager->timerCallback();
    EXPECT_EQ (manager->getOpenInputDeviceNames(), juce::StringArray ("K"));
    EXPECT_EQ (manager->getOpenOutputDeviceNames(), juce::StringArray ("B", "K"));
    EXPECT_EQ (listener.inputsRemoved.size() + listener.outputsRemoved.size(), 2);
    EXPECT_TRUE (ports->allSent().empty());
}

TEST_F (MidiManagerTest, AReopenThatFailsIsTriedAgainLessAndLessOften)
{
    plugAndOpen ({ "K" });
    unplug ("K");
    manager->timerCallback();
    ports->failOpens = true; // listed again, but not yet accepting connections
    ports->plugInput ("K");
    ports->plugOutput ("K");
    // Attempts at 0, 100, 300, 700 ms: none in between.
    int attempts = 0;
    for (juce::uint32 ms = 0; ms <= 1000; ms += 50, clock.advanceMs (50))
    {
        const auto callsBefore = ports->getNumOpenCalls();
        manager->timerCallback();
        attempts += ports->getNumOpenCalls() > callsBefore ? 1 : 0;
    }
    EXPECT_EQ (attempts, 4);
    EXPECT_EQ (manager->getNumOpenOutputDevices(), 0);

    ports->failOpens = false;
    clock.advanceMs (MidiManager::longestRetryDelayMs);
    manager->timerCallback();
    EXPECT_EQ (manager->getOpenInputDeviceNames(), juce::StringArray ("K"));
    EXPECT_EQ (manager->getOpenOutputDeviceNames(), juce::StringArray ("K"));
}

// A listener's write-back from the removal of an input reaches an output
// still there, but not one that vanished with the input, although the
// platform's port would still take the bytes.
TEST_F (MidiManagerTest, SendingFromTheRemovalCallbackReachesOnlyOutputsStillThere)
{
    plugAndOpen ({ "Gone", "Stays" });
    int taken = -1;
    listener.onInputRemoved = [&] { taken = manager->sendMessageToAllOutputs (DeviceMessages::noteOff (24)); };
    ports->unplugInput ("Stays");
    manager->timerCallback();
    EXPECT_EQ (taken, 2);
    unplug ("Gone");
    manager->timerCallback();
    EXPECT_EQ (taken, 1);
    EXPECT_EQ (ports->sentTo ("Gone").size(), 1u);
    EXPECT_EQ (ports->sentTo ("Stays").size(), 2u);
}

TEST_F (MidiManagerTest, ListenersMayComeAndGoWhileAnotherThreadDelivers)
{
    plugAndOpen ({ "In" });
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
        if (i % 2 == 0)
            continue;
        // Once removed, a listener may be destroyed at once: no delivery is still running into it.
        manager->removeListener (extra.back().get());
        extra.pop_back();
    }
    while (listener.received < 100)
        std::this_thread::yield();
    stop = true;
    midiThread.join();
    EXPECT_GT (extra.front()->received.load(), 0);
}

#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "sim/model/SimulatedClock.h"
#include "support/FakeMidiPortSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <utility>

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
    MidiManagerTest() { manager->addListener (&listener); }

    // Plugs an input and an output of each name, then opens them.
    void plug (juce::StringArray names, bool andOpen = true)
    {
        for (const auto& name : names)
            ports->plugInput (name), ports->plugOutput (name);
        for (int i = 0; andOpen && i < names.size(); ++i)
            manager->openInputDevice (names[i]), manager->openOutputDevice (names[i]);
    }
    void unplug (const juce::String& name) { ports->unplugInput (name), ports->unplugOutput (name); }
    void expectOpen (juce::StringArray names)
    {
        EXPECT_EQ (manager->getOpenInputDeviceNames(), names);
        EXPECT_EQ (manager->getOpenOutputDeviceNames(), names);
    }

    SimulatedClock clock;
    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr manager = new MidiManager (ports, clock);
    RecordingListener listener;
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

TEST_F (MidiManagerTest, VanishedPortsAreReportedOnceAndReopenedWhenListedAgainLessAndLessOftenWhileTheyRefuse)
{
    plug ({ "K", "B" });
    ports->plugOutput ("Never opened");
    unplug ("K");
    manager->timerCallback();
    manager->timerCallback();
    EXPECT_EQ (listener.removed, juce::StringArray ("in K", "out K"));
    expectOpen ({ "B" });

    // Closing every port forgets no missing one; K is listed again, but does
    // not accept connections at first: attempts at 0, 100, 300, 700 ms.
    manager->closeAllInputDevices();
    manager->closeAllOutputDevices();
    EXPECT_EQ (manager->sendMessageToAllOutputs (DeviceMessages::calibrationCommit()), 0);
    plug ({ "B" });
    ports->failOpens = true;
    plug ({ "K" }, false);
    std::vector<int> attempts;
    for (int ms = 0; ms <= 1000; ms += 50, clock.advanceMs (50))
    {
        const auto calls = ports->getNumOpenCalls();
        manager->timerCallback();
        if (ports->getNumOpenCalls() > calls)
            attempts.push_back (ms);
    }
    EXPECT_EQ (attempts, (std::vector<int> { 0, 100, 300, 700 }));
    ports->failOpens = false;
    clock.advanceMs (MidiManager::longestRetryDelayMs);
    manager->timerCallback();
    expectOpen ({ "B", "B", "K" });
    EXPECT_EQ (listener.removed.size(), 2);
    EXPECT_TRUE (ports->allSent().empty());
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

// A device plugged in between the manager's listing and its opening by index
// shifts the indices: the port opened is checked by name. A listing taken
// mid-change may also miss a port that is still there.
TEST (MidiManagerHotPlug, APortOpenedUnderAnotherNameIsNotKeptAndOneMissingFromOneListingStaysOpen)
{
    struct HotPlug : FakeMidiPortSystem
    {
        juce::StringArray getInputNames() override { return listThenPlug (true); }
        juce::StringArray getOutputNames() override { return listThenPlug (false); }
        juce::StringArray listThenPlug (bool inputs)
        {
            auto names = inputs ? FakeMidiPortSystem::getInputNames() : FakeMidiPortSystem::getOutputNames();
            if (! inputs && std::exchange (hideOutputOnce, false))
                names.removeString ("Kestrune");
            if (plugNext)
            {
                inputs ? unplugInput ("Kestrune") : unplugOutput ("Kestrune");
                inputs ? plugInput ("Other") : plugOutput ("Other");
                inputs ? plugInput ("Kestrune") : plugOutput ("Kestrune");
            }
            return names;
        }
        bool plugNext = true, hideOutputOnce = false;
    };
    auto ports = std::make_shared<HotPlug>();
    ports->plugInput ("Kestrune");
    ports->plugOutput ("Kestrune");
    SimulatedClock clock;
    MidiManager::Ptr manager = new MidiManager (ports, clock);
    manager->openInputDevice ("Kestrune");
    manager->openOutputDevice ("Kestrune");
    EXPECT_TRUE (manager->getOpenInputDeviceNames().isEmpty());
    EXPECT_TRUE (manager->getOpenOutputDeviceNames().isEmpty());
    EXPECT_EQ (manager->sendMessageToAllOutputs (DeviceMessages::identityRequest()), 0);
    EXPECT_TRUE (ports->sentTo ("Other").empty());

    ports->plugNext = false;   // the next attempt lists what is there
    manager->openInputDevice ("Kestrune");
    manager->openOutputDevice ("Kestrune");
    EXPECT_EQ (manager->getOpenOutputDeviceNames(), juce::StringArray ("Kestrune"));
    EXPECT_EQ (manager->getOpenInputDeviceNames(), juce::StringArray ("Kestrune"));

    // Missing from one listing and back in the next: it stays open and takes messages.
    ports->hideOutputOnce = true;
    manager->timerCallback();
    EXPECT_EQ (manager->getOpenOutputDeviceNames(), juce::StringArray ("Kestrune"));
    EXPECT_EQ (manager->sendMessageToAllOutputs (DeviceMessages::identityRequest()), 1);
}

#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "sim/model/SimulatedClock.h"
#include "support/FakeMidiPortSystem.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
struct RecordingListener : MidiManager::Listener
{
    void midiMessageReceived (MidiInputPort*, const juce::MidiMessage& m) override { received.push_back (m); }
    void midiInputDeviceRemoved (const juce::String& name) override { inputsRemoved.add (name); }
    void midiOutputDeviceRemoved (const juce::String& name) override { outputsRemoved.add (name); }

    std::vector<juce::MidiMessage> received;
    juce::StringArray inputsRemoved, outputsRemoved;
};

struct MidiManagerTest : ::testing::Test
{
    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr manager = new MidiManager (ports);
    RecordingListener listener;

    void SetUp() override { manager->addListener (&listener); }
};
} // namespace

TEST_F (MidiManagerTest, OpensPortsByExactNameAndSendsToThem)
{
    ports->plugInput ("Kestrune Jack 1");
    ports->plugOutput ("kestrune jack 1");
    ports->plugOutput ("Kestrune Jack 1");

    manager->openInputDevice ("Kestrune Jack 1");
    manager->openOutputDevice ("Kestrune Jack 1");
    manager->openOutputDevice ("Missing");

    EXPECT_EQ (manager->getOpenInputDeviceNames(), juce::StringArray ("Kestrune Jack 1"));
    EXPECT_EQ (manager->getOpenOutputDeviceNames(), juce::StringArray ("Kestrune Jack 1"));
    EXPECT_EQ (ports->getNumStartedInputs(), 1);

    manager->sendMessageToAllOutputs (DeviceMessages::identityRequest());
    EXPECT_EQ (ports->sentTo ("Kestrune Jack 1").size(), 1u);
    EXPECT_TRUE (ports->sentTo ("kestrune jack 1").empty());

    // Opening again is a no-op.
    manager->openOutputDevice ("Kestrune Jack 1");
    EXPECT_EQ (manager->getNumOpenOutputDevices(), 1);
}

TEST_F (MidiManagerTest, PortsSharingANameAreAllOpenedAndAllReceive)
{
    ports->plugInput ("Twin");
    ports->plugInput ("Twin");
    ports->plugOutput ("Twin");
    ports->plugOutput ("Twin");

    manager->openInputDevice ("Twin");
    manager->openOutputDevice ("Twin");
    EXPECT_EQ (manager->getOpenInputDeviceNames().size(), 2);
    EXPECT_EQ (manager->getNumOpenOutputDevices(), 2);

    manager->sendMessageToOutput ("Twin", DeviceMessages::calibrationCommit());
    manager->sendMessageToOutput ("Other", DeviceMessages::calibrationCommit());
    EXPECT_EQ (ports->sentTo ("Twin").size(), 2u);
}

TEST_F (MidiManagerTest, ListenersGetCompleteMessagesOnlyOnceEachNewestFirst)
{
    struct OrderListener : MidiManager::Listener
    {
        OrderListener (std::vector<int>& o, int i) : order (o), id (i) {}
        void midiMessageReceived (MidiInputPort*, const juce::MidiMessage&) override { order.push_back (id); }
        void midiInputDeviceRemoved (const juce::String&) override {}
        void midiOutputDeviceRemoved (const juce::String&) override {}
        std::vector<int>& order;
        int id;
    };
    std::vector<int> order;
    OrderListener second (order, 2);
    manager->addListener (&second);
    manager->addListener (&second);
    manager->addListener (nullptr);

    ports->plugInput ("In");
    manager->openInputDevice ("In");
    ports->injectMessage ("In", DeviceMessages::noteOn (24));
    const juce::uint8 fragment[] = { 0xF0, 0x47, 0x00 };
    ports->injectPartialSysex ("In", fragment, 3);

    ASSERT_EQ (listener.received.size(), 1u);
    EXPECT_EQ (order, (std::vector<int> { 2 })); // registered once
    EXPECT_TRUE (listener.received[0].isNoteOn());
}

TEST_F (MidiManagerTest, VanishedPortsAreReportedOnceAndReopenedSilently)
{
    ports->plugInput ("K");
    ports->plugOutput ("K");
    manager->openInputDevice ("K");
    manager->openOutputDevice ("K");

    ports->unplugInput ("K");
    ports->unplugOutput ("K");
    manager->timerCallback();
    manager->timerCallback();
    EXPECT_EQ (listener.inputsRemoved, juce::StringArray ("K"));
    EXPECT_EQ (listener.outputsRemoved, juce::StringArray ("K"));
    EXPECT_EQ (manager->getNumOpenOutputDevices(), 0);
    EXPECT_TRUE (manager->getOpenInputDeviceNames().isEmpty());

    manager->sendMessageToAllOutputs (DeviceMessages::calibrationCommit()); // dropped: nothing open
    ports->plugInput ("K");
    ports->plugOutput ("K");
    manager->timerCallback();
    EXPECT_EQ (manager->getOpenInputDeviceNames(), juce::StringArray ("K"));
    EXPECT_EQ (manager->getOpenOutputDeviceNames(), juce::StringArray ("K"));
    EXPECT_EQ (listener.inputsRemoved.size(), 1);
    EXPECT_EQ (listener.outputsRemoved.size(), 1);
    EXPECT_TRUE (ports->allSent().empty());
}

TEST_F (MidiManagerTest, AReopenThatFailsIsTriedAgainLessAndLessOften)
{
    SimulatedClock clock;
    auto fakePorts = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr m = new MidiManager (fakePorts, clock);
    fakePorts->plugInput ("K");
    fakePorts->plugOutput ("K");
    m->openInputDevice ("K");
    m->openOutputDevice ("K");
    fakePorts->unplugInput ("K");
    fakePorts->unplugOutput ("K");
    m->timerCallback();

    fakePorts->plugInput ("K");
    fakePorts->plugOutput ("K");
    fakePorts->failOpens = true; // listed again, but not yet accepting connections
    // Attempts at 0, 100, 300, 700 ms: none in between.
    int attempts = 0;
    for (juce::uint32 ms = 0; ms <= 1000; ms += 50)
    {
        const auto callsBefore = fakePorts->getNumOpenCalls();
        m->timerCallback();
        attempts += fakePorts->getNumOpenCalls() > callsBefore ? 1 : 0;
        clock.advanceMs (50);
    }
    EXPECT_EQ (attempts, 4);
    EXPECT_EQ (m->getNumOpenOutputDevices(), 0);

    fakePorts->failOpens = false;
    clock.advanceMs (MidiManager::longestRetryDelayMs);
    m->timerCallback();
    EXPECT_EQ (m->getOpenInputDeviceNames(), juce::StringArray ("K"));
    EXPECT_EQ (m->getOpenOutputDeviceNames(), juce::StringArray ("K"));
}

TEST_F (MidiManagerTest, PollNeverOpensAPortThatWasNeverOpen)
{
    ports->plugOutput ("Late");
    manager->timerCallback();
    EXPECT_EQ (manager->getNumOpenOutputDevices(), 0);
}

TEST_F (MidiManagerTest, MissingNamesSurviveCloseAll)
{
    ports->plugOutput ("A");
    manager->openOutputDevice ("A");
    ports->unplugOutput ("A");
    manager->timerCallback();

    ports->plugOutput ("B");
    manager->closeAllOutputDevices();
    manager->openOutputDevice ("B");
    EXPECT_EQ (manager->getNumOpenOutputDevices(), 1);

    ports->plugOutput ("A");
    manager->timerCallback();
    EXPECT_EQ (manager->getOpenOutputDeviceNames(), juce::StringArray ({ "B", "A" }));
}

TEST_F (MidiManagerTest, ListenersMaySendFromTheRemovalCallbackButNotToAnOutputThatIsGone)
{
    // An output that vanished together with the input takes nothing, although
    // the platform's port would still accept the bytes.
    struct SendingListener : MidiManager::Listener
    {
        MidiManager& m;
        int taken = -1;
        explicit SendingListener (MidiManager& mm) : m (mm) {}
        void midiMessageReceived (MidiInputPort*, const juce::MidiMessage&) override {}
        void midiInputDeviceRemoved (const juce::String&) override { taken = m.sendMessageToAllOutputs (DeviceMessages::noteOff (24)); }
        void midiOutputDeviceRemoved (const juce::String&) override {}
    };

    for (const bool outputGoesToo : { false, true })
    {
        SCOPED_TRACE (outputGoesToo);
        auto fakePorts = std::make_shared<FakeMidiPortSystem>();
        MidiManager::Ptr m = new MidiManager (fakePorts);
        SendingListener sender (*m);
        m->addListener (&sender);
        fakePorts->plugInput ("In");
        fakePorts->plugOutput ("Out");
        m->openInputDevice ("In");
        m->openOutputDevice ("Out");

        fakePorts->unplugInput ("In");
        if (outputGoesToo)
            fakePorts->unplugOutput ("Out");
        m->timerCallback();
        EXPECT_EQ (sender.taken, outputGoesToo ? 0 : 1);
        EXPECT_EQ (fakePorts->sentTo ("Out").size(), outputGoesToo ? 0u : 1u);
        m->removeListener (&sender);
    }
}

TEST_F (MidiManagerTest, RegistrationAndRemovalMayOverlapDispatchFromAnotherThread)
{
    struct CountingListener : MidiManager::Listener
    {
        void midiMessageReceived (MidiInputPort*, const juce::MidiMessage&) override { ++count; }
        void midiInputDeviceRemoved (const juce::String&) override {}
        void midiOutputDeviceRemoved (const juce::String&) override {}
        std::atomic<int> count { 0 };
    };

    ports->plugInput ("In");
    manager->openInputDevice ("In");
    CountingListener first;
    manager->addListener (&first);

    std::atomic<bool> stop { false };
    std::thread midiThread ([&] {
        while (! stop)
            ports->injectMessage ("In", DeviceMessages::noteOn (24));
    });
    std::vector<std::unique_ptr<CountingListener>> extra;
    for (int i = 0; i < 200; ++i)
    {
        extra.push_back (std::make_unique<CountingListener>());
        manager->addListener (extra.back().get());
        if (i % 2 == 1)
        {
            // Once removed, a listener may be destroyed at once: no delivery is still running into it.
            manager->removeListener (extra.back().get());
            extra.pop_back();
        }
        std::this_thread::yield();
    }
    while (first.count < 100)
        std::this_thread::yield();
    stop = true;
    midiThread.join();
    EXPECT_GT (extra.front()->count.load(), 0);
}

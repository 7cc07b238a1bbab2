#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "sim/doubles/VirtualKestruneMidiPortSystem.h"

#include <gtest/gtest.h>

namespace
{
struct Recorder : MidiInputPortCallback
{
    void handleIncomingMidiMessage (MidiInputPort* source, const juce::MidiMessage& message) override
    {
        sources.push_back (source);
        messages.push_back (message);
    }
    std::vector<MidiInputPort*> sources;
    std::vector<juce::MidiMessage> messages;
};

struct Ports
{
    explicit Ports (VirtualKestruneMidiPortSystem::Delivery delivery)
        : machine (std::make_shared<VirtualKestrune>()), system (machine, delivery)
    {
    }

    void open()
    {
        input = system.openInput (0, &recorder);
        output = system.openOutput (0);
        ASSERT_NE (input, nullptr);
        ASSERT_NE (output, nullptr);
        input->start();
    }

    std::shared_ptr<VirtualKestrune> machine;
    VirtualKestruneMidiPortSystem system;
    Recorder recorder;
    std::unique_ptr<MidiInputPort> input;
    std::unique_ptr<MidiOutputPort> output;
};

struct ManagerListener : MidiManager::Listener
{
    void midiMessageReceived (MidiInputPort*, const juce::MidiMessage& message) override { received.push_back (message); }
    void midiInputDeviceRemoved (const juce::String&) override {}
    void midiOutputDeviceRemoved (const juce::String&) override {}
    std::vector<juce::MidiMessage> received;
};
} // namespace

TEST (SimMidiPortSystem, ListsOneInputAndOneOutputNamedKestruneJack1)
{
    Ports p (VirtualKestruneMidiPortSystem::Delivery::synchronous);
    EXPECT_EQ (p.system.getInputNames(), juce::StringArray ("Kestrune Jack 1"));
    EXPECT_EQ (p.system.getOutputNames(), juce::StringArray ("Kestrune Jack 1"));
    EXPECT_EQ (p.system.openInput (1, &p.recorder), nullptr);
    EXPECT_EQ (p.system.openOutput (1), nullptr);
    p.open();
    EXPECT_EQ (p.input->getName(), "Kestrune Jack 1");
    EXPECT_EQ (p.output->getName(), "Kestrune Jack 1");
}

TEST (SimMidiPortSystem, SynchronousRepliesArriveBeforeSendReturns)
{
    Ports p (VirtualKestruneMidiPortSystem::Delivery::synchronous);
    p.open();
    p.output->sendMessageNow (DeviceMessages::calibrationValueRequest (24));
    ASSERT_EQ (p.recorder.messages.size(), 1u);
    EXPECT_EQ (p.recorder.sources[0], p.input.get());
    EXPECT_EQ (DeviceMessages::parseCalibrationValueReply (p.recorder.messages[0])->value, 64821);

    p.output->sendMessageNow (DeviceMessages::calibrationValueWrite (24, 0x1111));
    EXPECT_EQ (p.machine->getWorkingValue (24), 0x1111);
    EXPECT_EQ (p.system.getReceivedByMachine().size(), 2u);
    EXPECT_EQ (p.system.getSentByMachine().size(), 1u);
}

TEST (SimMidiPortSystem, PumpedRepliesWaitForThePumpAndKeepTheirOrder)
{
    Ports p (VirtualKestruneMidiPortSystem::Delivery::pumped);
    p.open();
    for (int note = 24; note <= 64; ++note)
        p.output->sendMessageNow (DeviceMessages::calibrationValueRequest (note));
    EXPECT_TRUE (p.recorder.messages.empty());
    EXPECT_EQ (p.system.getNumQueuedReplies(), 40);

    EXPECT_EQ (p.system.pump(), 40);
    ASSERT_EQ (p.recorder.messages.size(), 40u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ (DeviceMessages::parseCalibrationValueReply (p.recorder.messages[(size_t) i])->note, 24 + i);
    EXPECT_EQ (p.system.pump(), 0);
}

TEST (SimMidiPortSystem, StoppedInputsHearNothing)
{
    Ports p (VirtualKestruneMidiPortSystem::Delivery::synchronous);
    p.open();
    p.input->stop();
    p.output->sendMessageNow (DeviceMessages::identityRequest());
    EXPECT_TRUE (p.recorder.messages.empty());
}

TEST (SimMidiPortSystem, UnpluggedPortsVanishAndCarryNothing)
{
    Ports p (VirtualKestruneMidiPortSystem::Delivery::pumped);
    p.open();
    p.output->sendMessageNow (DeviceMessages::identityRequest());
    p.system.setPlugged (false);
    EXPECT_TRUE (p.system.getInputNames().isEmpty());
    EXPECT_TRUE (p.system.getOutputNames().isEmpty());
    EXPECT_EQ (p.system.openOutput (0), nullptr);

    p.output->sendMessageNow (DeviceMessages::calibrationValueWrite (24, 5));
    EXPECT_EQ (p.machine->getWorkingValue (24), 64821) << "lost on the way";
    EXPECT_EQ (p.system.pump(), 0) << "the reply queued before the unplug is lost too";

    p.system.setPlugged (true);
    EXPECT_EQ (p.system.getInputNames(), juce::StringArray ("Kestrune Jack 1"));
    p.output->sendMessageNow (DeviceMessages::identityRequest());
    EXPECT_EQ (p.system.pump(), 1);
    EXPECT_EQ (p.recorder.messages.size(), 1u);
}

TEST (SimMidiPortSystem, TheMidiManagerTalksToTheMachineByName)
{
    auto machine = std::make_shared<VirtualKestrune>();
    auto system = std::make_shared<VirtualKestruneMidiPortSystem> (machine);
    MidiManager::Ptr manager = new MidiManager (system);
    ManagerListener listener;
    manager->addListener (&listener);
    manager->openInputDevice ("Kestrune Jack 1");
    manager->openOutputDevice ("Kestrune Jack 1");

    EXPECT_TRUE (manager->getOpenOutputDeviceNames().contains ("Kestrune Jack 1"));
    EXPECT_TRUE (manager->getOpenInputDeviceNames().contains ("Kestrune Jack 1"));

    manager->sendMessageToAllOutputs (DeviceMessages::identityRequest());
    ASSERT_EQ (listener.received.size(), 1u);
    EXPECT_DOUBLE_EQ (*DeviceMessages::parseIdentityReplyVersion (listener.received[0]), 1.05);

    manager->sendMessageToAllOutputs (DeviceMessages::noteOn (24));
    EXPECT_EQ (machine->getSoundingNote(), 24);

    manager->closeAllInputDevices();
    manager->closeAllOutputDevices();
}

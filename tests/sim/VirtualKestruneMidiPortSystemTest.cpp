#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "sim/doubles/VirtualKestruneMidiPortSystem.h"

#include <gtest/gtest.h>

namespace
{
struct Recorder : MidiManager::Listener
{
    void midiMessageReceived (MidiInputPort*, const juce::MidiMessage& m) override
    {
        notes.push_back (DeviceMessages::parseCalibrationValueReply (m) ? DeviceMessages::parseCalibrationValueReply (m)->note : -1);
    }
    void midiInputDeviceRemoved (const juce::String&) override {}
    void midiOutputDeviceRemoved (const juce::String&) override {}
    std::vector<int> notes;
};

struct Ports
{
    explicit Ports (VirtualKestruneMidiPortSystem::Delivery delivery)
    {
        system = std::make_shared<VirtualKestruneMidiPortSystem> (machine, delivery);
        manager = new MidiManager (system);
        manager->addListener (&recorder);
        manager->openInputDevice ("Kestrune Jack 1");
        manager->openOutputDevice ("Kestrune Jack 1");
    }
    ~Ports() { manager->removeListener (&recorder); }
    void send (const juce::MidiMessage& m) { manager->sendMessageToAllOutputs (m); }

    std::shared_ptr<VirtualKestrune> machine = std::make_shared<VirtualKestrune>();
    std::shared_ptr<VirtualKestruneMidiPortSystem> system;
    MidiManager::Ptr manager;
    Recorder recorder;
};
} // namespace

TEST (SimMidiPortSystem, TheMidiManagerTalksToTheMachineByNameAndRepliesArriveBeforeSendReturns)
{
    Ports p (VirtualKestruneMidiPortSystem::Delivery::synchronous);
    EXPECT_EQ (p.system->getInputNames(), juce::StringArray ("Kestrune Jack 1"));
    EXPECT_EQ (p.system->openOutput (1), nullptr);
    p.send (DeviceMessages::calibrationValueRequest (24));
    EXPECT_EQ (p.recorder.notes, std::vector<int> { 24 });
    p.send (DeviceMessages::noteOn (24));
    EXPECT_EQ (p.machine->getSoundingNote(), 24);
    EXPECT_EQ (p.system->getReceivedByMachine().size(), 2u);
    EXPECT_EQ (p.system->getSentByMachine().size(), 1u);
}

TEST (SimMidiPortSystem, AnUnplugLosesWhatIsOnTheWay)
{
    Ports p (VirtualKestruneMidiPortSystem::Delivery::pumped);
    p.send (DeviceMessages::identityRequest());
    p.system->setPlugged (false);
    EXPECT_TRUE (p.system->getInputNames().isEmpty() && p.system->getOutputNames().isEmpty());
    EXPECT_EQ (p.system->openOutput (0), nullptr);
    p.send (DeviceMessages::calibrationValueWrite (24, 5));
    EXPECT_EQ (p.machine->getWorkingValue (24), 64821) << "lost on the way";
    EXPECT_EQ (p.system->pump(), 0) << "the reply queued before the unplug is lost too";
    p.system->setPlugged (true);
    p.system->openOutput (0)->sendMessageNow (DeviceMessages::identityRequest());
    EXPECT_EQ (p.system->pump(), 1);
}

#include "midi/DeviceMessages.h"
#include "sim/doubles/VirtualKestruneMidiPortSystem.h"

#include <gtest/gtest.h>

TEST (SimMidiPortSystem, RepliesArriveBeforeSendReturnsAndAnUnplugLosesWhatIsOnTheWay)
{
    const auto machine = std::make_shared<VirtualKestrune>();
    VirtualKestruneMidiPortSystem system (machine);
    struct : MidiInputPortCallback
    {
        void handleIncomingMidiMessage (MidiInputPort*, const juce::MidiMessage& m) override { received.push_back (m); }
        std::vector<juce::MidiMessage> received;
    } recorder;
    EXPECT_EQ (system.getInputNames(), juce::StringArray ("Kestrune Jack 1"));
    EXPECT_EQ (system.openOutput (1), nullptr);
    const auto input = system.openInput (0, &recorder);
    const auto output = system.openOutput (0);
    input->start();
    output->sendMessageNow (DeviceMessages::calibrationValueRequest (24));
    ASSERT_EQ (recorder.received.size(), 1u);
    EXPECT_EQ (DeviceMessages::parseCalibrationValueReply (recorder.received[0])->value, 64821);
    EXPECT_EQ (system.getReceivedByMachine().size(), 1u);
    EXPECT_EQ (system.getSentByMachine().size(), 1u);

    system.setPlugged (false);
    EXPECT_TRUE (system.getInputNames().isEmpty() && system.getOutputNames().isEmpty());
    EXPECT_EQ (system.openOutput (0), nullptr);
    output->sendMessageNow (DeviceMessages::calibrationValueWrite (24, 5));
    EXPECT_EQ (machine->getWorkingValue (24), 64821) << "lost on the way";
    system.setPlugged (true);
    input->stop();
    const auto again = system.openOutput (0);
    again->sendMessageNow (DeviceMessages::noteOn (24));
    EXPECT_EQ (machine->getSoundingNote(), 24);
    again->sendMessageNow (DeviceMessages::identityRequest());
    EXPECT_EQ (recorder.received.size(), 1u) << "a stopped input hears nothing";
}

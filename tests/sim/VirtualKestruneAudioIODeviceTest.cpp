#include "midi/DeviceMessages.h"
#include "sim/doubles/VirtualKestruneAudioIODeviceType.h"
#include "sim/model/PitchMeter.h"

#include <gtest/gtest.h>

namespace
{
// Keeps what the device delivers, as the engine's pitch detector would see it.
struct Capture : juce::AudioIODeviceCallback
{
    void audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs, float* const*, int, int numSamples,
                                           const juce::AudioIODeviceCallbackContext&) override
    {
        ASSERT_EQ (numInputs, 1);
        samples.insert (samples.end(), inputs[0], inputs[0] + numSamples);
    }
    void audioDeviceAboutToStart (juce::AudioIODevice* device) override { sampleRate = device->getCurrentSampleRate(); }
    void audioDeviceStopped() override {}

    double sampleRate = 0.0;
    std::vector<float> samples;
};
} // namespace

TEST (SimAudioDevice, ManualClockingRendersTheMachinesNoteOnDemandAndMovesTheClockExactly)
{
    using Device = VirtualKestruneAudioIODevice;
    const auto machine = std::make_shared<VirtualKestrune>();
    SimulatedClock clock (5000);
    juce::AudioDeviceManager manager;
    Capture capture;
    manager.addAudioDeviceType (std::make_unique<VirtualKestruneAudioIODeviceType> (machine, Device::Clocking::manual, &clock));
    manager.setCurrentAudioDeviceType (Device::typeName, true);
    ASSERT_EQ (manager.initialise (1, 0, nullptr, false), "");   // as the utility opens its input
    manager.addAudioCallback (&capture);
    auto* device = dynamic_cast<Device*> (manager.getCurrentAudioDevice());
    ASSERT_NE (device, nullptr);
    EXPECT_EQ (device->getName() + "/" + device->getInputChannelNames().joinIntoString (","), "Kestrune Synth Output/Synth Out");
    EXPECT_EQ (capture.sampleRate, 48000.0);
    EXPECT_TRUE (capture.samples.empty()) << "nothing moves by itself";

    machine->receive (DeviceMessages::noteOn (24));
    EXPECT_EQ (device->renderBlocks (375), 375);   // 4 s at 48 kHz
    EXPECT_EQ (clock.getMillisecondCounter(), 9000u);
    ASSERT_EQ (capture.samples.size(), 375u * 512u);
    EXPECT_NEAR (PitchMeter::measure (capture.samples.data() + 4800, 375 * 512 - 4800, 48000.0), machine->getSoundingFrequency(), 0.02);
    juce::int64 lastSeen = 0;
    device->onBlockRendered = [&] (juce::int64 total) { lastSeen = total; };
    EXPECT_EQ (device->renderMilliseconds (100.0), 10);   // 4800 samples: ten blocks of 512
    EXPECT_EQ (lastSeen, 385 * 512);
    for (const auto& [rate, block, opens] : { std::tuple { 96000.0, 512, false }, { 48000.0, 256, false }, { 48000.0, 480, true } })
        EXPECT_EQ (Device (machine, Device::Clocking::manual).open (1, 0, rate, block).isEmpty(), opens) << rate << " " << block;

    manager.removeAudioCallback (&capture);
    device->renderBlocks (3);
    EXPECT_EQ (capture.samples.size(), 385u * 512u) << "a removed callback hears nothing more";
    manager.closeAudioDevice();
}

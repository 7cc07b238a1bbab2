#include "midi/DeviceMessages.h"
#include "sim/doubles/VirtualKestruneAudioIODeviceType.h"
#include "sim/model/PitchMeter.h"

#include <gtest/gtest.h>

namespace
{
using Clocking = VirtualKestruneAudioIODevice::Clocking;

// Keeps what the device delivers, as the engine's pitch detector would see it.
struct Capture : juce::AudioIODeviceCallback
{
    Capture() { samples.reserve (48000 * 10); }
    void audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs, float* const*, int, int numSamples,
                                           const juce::AudioIODeviceCallbackContext&) override
    {
        lastBlockSize = numInputs == 1 ? numSamples : -1;
        if (numInputs == 1 && samples.size() + (size_t) numSamples <= samples.capacity())
            samples.insert (samples.end(), inputs[0], inputs[0] + numSamples);
        ++blocks;
    }
    void audioDeviceAboutToStart (juce::AudioIODevice* device) override { sampleRate = device->getCurrentSampleRate(); }
    void audioDeviceStopped() override {}

    std::atomic<int> blocks { 0 }, lastBlockSize { 0 };
    double sampleRate = 0.0;
    std::vector<float> samples;
};

struct Rig
{
    explicit Rig (Clocking clocking)
    {
        manager.addAudioDeviceType (std::make_unique<VirtualKestruneAudioIODeviceType> (machine, clocking, &clock));
        manager.setCurrentAudioDeviceType (VirtualKestruneAudioIODevice::typeName, true);
        EXPECT_EQ (manager.initialise (1, 0, nullptr, false), "");   // as the utility opens its input
        manager.addAudioCallback (&capture);
    }
    ~Rig() { manager.closeAudioDevice(); }
    VirtualKestruneAudioIODevice* device() { return dynamic_cast<VirtualKestruneAudioIODevice*> (manager.getCurrentAudioDevice()); }

    std::shared_ptr<VirtualKestrune> machine = std::make_shared<VirtualKestrune>();
    SimulatedClock clock { 5000 };
    juce::AudioDeviceManager manager;
    Capture capture;
};
} // namespace

TEST (SimAudioDevice, ManualClockingRendersTheMachinesNoteOnDemandAndMovesTheClockExactly)
{
    Rig rig (Clocking::manual);
    ASSERT_NE (rig.device(), nullptr);
    EXPECT_EQ (rig.device()->getName() + "/" + rig.device()->getInputChannelNames().joinIntoString (","), "Kestrune Synth Output/Synth Out");
    EXPECT_EQ (rig.capture.sampleRate, 48000.0);
    EXPECT_EQ (rig.capture.blocks, 0) << "nothing moves by itself";

    rig.machine->receive (DeviceMessages::noteOn (24));
    EXPECT_EQ (rig.device()->renderBlocks (375), 375);   // 4 s at 48 kHz
    EXPECT_EQ (rig.capture.lastBlockSize, 512);
    EXPECT_EQ (rig.clock.getMillisecondCounter(), 9000u);
    const auto& s = rig.capture.samples;
    EXPECT_NEAR (PitchMeter::measure (s.data() + 4800, (int) s.size() - 4800, 48000.0), rig.machine->getSoundingFrequency(), 0.02);
    juce::int64 lastSeen = 0;
    rig.device()->onBlockRendered = [&] (juce::int64 total) { lastSeen = total; };
    EXPECT_EQ (rig.device()->renderMilliseconds (100.0), 10);   // 4800 samples: ten blocks of 512
    EXPECT_EQ (lastSeen, 385 * 512);

    auto setup = rig.manager.getAudioDeviceSetup();
    setup.sampleRate = 44100.0;
    setup.bufferSize = 441;
    EXPECT_EQ (rig.manager.setAudioDeviceSetup (setup, true), "");
    rig.device()->renderBlocks (100);
    EXPECT_EQ (rig.capture.lastBlockSize, 441);
    EXPECT_EQ (rig.clock.getMillisecondCounter(), 10106u);
    for (const auto& [rate, block, opens] : { std::tuple { 96000.0, 512, false }, { 48000.0, 256, false }, { 48000.0, 480, true } })
        EXPECT_EQ (VirtualKestruneAudioIODevice (rig.machine, Clocking::manual).open (1, 0, rate, block).isEmpty(), opens) << rate << " " << block;

    rig.manager.removeAudioCallback (&rig.capture);
    rig.device()->renderBlocks (3);
    EXPECT_EQ (rig.capture.blocks, 485) << "a removed callback hears nothing more";
}

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
    void audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs, float* const*, int,
                                           int numSamples, const juce::AudioIODeviceCallbackContext&) override
    {
        ++blocks;
        lastNumInputs = numInputs;
        lastBlockSize = numSamples;
        if (numInputs == 1 && samples.size() + (size_t) numSamples <= samples.capacity())
            samples.insert (samples.end(), inputs[0], inputs[0] + numSamples);
        if (blocks == blocksToSignal)
            enoughBlocks.signal();
    }
    void audioDeviceAboutToStart (juce::AudioIODevice* device) override
    {
        ++starts;
        sampleRate = device->getCurrentSampleRate();
    }
    void audioDeviceStopped() override { ++stops; }

    Capture() { samples.reserve (48000 * 10); }

    std::atomic<int> blocks { 0 };
    int blocksToSignal = 6;
    juce::WaitableEvent enoughBlocks;
    int starts = 0, stops = 0;
    std::atomic<int> lastNumInputs { -1 }, lastBlockSize { 0 };
    double sampleRate = 0.0;
    std::vector<float> samples;
};

struct Rig
{
    explicit Rig (Clocking clocking) : machine (std::make_shared<VirtualKestrune>())
    {
        manager.addAudioDeviceType (std::make_unique<VirtualKestruneAudioIODeviceType> (machine, clocking, &clock));
        manager.setCurrentAudioDeviceType (VirtualKestruneAudioIODevice::typeName, true);
        // As the utility opens its input: one input channel, no outputs.
        const auto error = manager.initialise (1, 0, nullptr, false);
        EXPECT_TRUE (error.isEmpty()) << error;
        manager.addAudioCallback (&capture);
    }

    ~Rig()
    {
        manager.removeAudioCallback (&capture);
        manager.closeAudioDevice();
    }

    VirtualKestruneAudioIODevice* device()
    {
        return dynamic_cast<VirtualKestruneAudioIODevice*> (manager.getCurrentAudioDevice());
    }

    std::shared_ptr<VirtualKestrune> machine;
    SimulatedClock clock { 5000 };
    juce::AudioDeviceManager manager;
    Capture capture;
};
} // namespace

TEST (SimAudioDevice, TheDeviceManagerOpensTheMachinesOutputAsItsOneInput)
{
    Rig rig (Clocking::manual);
    auto* device = rig.device();
    ASSERT_NE (device, nullptr);
    EXPECT_EQ (device->getName(), "Kestrune Synth Output");
    EXPECT_EQ (device->getInputChannelNames(), juce::StringArray ("Synth Out"));
    EXPECT_TRUE (device->getOutputChannelNames().isEmpty());
    EXPECT_EQ (device->getActiveInputChannels().countNumberOfSetBits(), 1);
    EXPECT_EQ (device->getCurrentSampleRate(), 48000.0);
    EXPECT_EQ (device->getCurrentBufferSizeSamples(), 512);
    EXPECT_EQ (rig.capture.starts, 1);
    EXPECT_EQ (rig.capture.sampleRate, 48000.0);
}

TEST (SimAudioDevice, ManualClockingRendersOnDemandAndAdvancesTheClockExactly)
{
    Rig rig (Clocking::manual);
    EXPECT_EQ (rig.capture.blocks, 0) << "nothing moves by itself";

    EXPECT_EQ (rig.device()->renderBlocks (375), 375);   // 4 s at 48 kHz
    EXPECT_EQ (rig.capture.blocks, 375);
    EXPECT_EQ (rig.capture.lastNumInputs, 1);
    EXPECT_EQ (rig.capture.lastBlockSize, 512);
    EXPECT_EQ (rig.clock.getMillisecondCounter(), 5000u + 4000u);
    EXPECT_EQ (rig.device()->getSamplesRendered(), 375 * 512);

    juce::int64 lastSeen = 0;
    rig.device()->onBlockRendered = [&] (juce::int64 total) { lastSeen = total; };
    EXPECT_EQ (rig.device()->renderMilliseconds (100.0), 10);   // 4800 samples: ten blocks of 512
    EXPECT_EQ (lastSeen, 385 * 512);
}

TEST (SimAudioDevice, OtherRatesAndBlockSizesCanBeChosen)
{
    Rig rig (Clocking::manual);
    auto setup = rig.manager.getAudioDeviceSetup();
    setup.sampleRate = 44100.0;
    setup.bufferSize = 441;
    EXPECT_TRUE (rig.manager.setAudioDeviceSetup (setup, true).isEmpty());
    EXPECT_EQ (rig.capture.sampleRate, 44100.0);
    EXPECT_EQ (rig.capture.starts, 2);

    rig.device()->renderBlocks (100);   // one second
    EXPECT_EQ (rig.capture.lastBlockSize, 441);
    EXPECT_EQ (rig.clock.getMillisecondCounter(), 6000u);

    auto device = VirtualKestruneAudioIODevice (rig.machine, Clocking::manual);
    EXPECT_TRUE (device.open (1, 0, 96000.0, 512).isNotEmpty());
    EXPECT_TRUE (device.open (1, 0, 48000.0, 256).isNotEmpty());
    EXPECT_TRUE (device.open (1, 0, 48000.0, 480).isEmpty());
}

TEST (SimAudioDevice, TheCallbackHearsTheNoteTheMachinePlays)
{
    Rig rig (Clocking::manual);
    rig.machine->receive (DeviceMessages::calibrationValueWrite (24, 0xFFFF));
    rig.machine->receive (DeviceMessages::noteOn (24));
    rig.device()->renderBlocks (190);
    const auto& s = rig.capture.samples;
    ASSERT_EQ (s.size(), 190u * 512u);
    EXPECT_NEAR (PitchMeter::measure (s.data() + 4800, (int) s.size() - 4800, 48000.0),
                 rig.machine->getPitchCurve().frequency (0xFFFF, 0.0), 0.02);
}

TEST (SimAudioDevice, StoppingTheDeviceEndsTheCallbacks)
{
    Rig rig (Clocking::manual);
    rig.manager.removeAudioCallback (&rig.capture);
    EXPECT_EQ (rig.capture.stops, 1);
    rig.device()->renderBlocks (3);
    EXPECT_EQ (rig.capture.blocks, 0);

    rig.manager.closeAudioDevice();
    EXPECT_EQ (rig.device(), nullptr);
}

TEST (SimAudioDevice, RealTimeClockingRunsOnItsOwnThread)
{
    Rig rig (Clocking::realTime);
    // Waits for an event, not a time-out: six blocks take about 64 ms.
    EXPECT_TRUE (rig.capture.enoughBlocks.wait (5000));
    EXPECT_EQ (rig.capture.lastNumInputs, 1);
    // Five blocks (53.3 ms) were over before the sixth was delivered.
    EXPECT_GE (rig.clock.getMillisecondCounter(), 5000u + 53u);
}

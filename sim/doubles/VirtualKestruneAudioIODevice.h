#pragma once

#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>
#include <vector>

// An audio input device whose one input channel carries the virtual machine's
// Synth Output. Two ways to run it:
// - realTime: once started, a thread of its own renders block after block at
//   the pace of the wall clock and calls the callback, like a sound card;
// - manual: nothing happens until renderBlocks() is called, which renders and
//   delivers blocks on the calling thread as fast as it can and advances the
//   SimulatedClock (if one is given) by the duration of the audio rendered.
class VirtualKestruneAudioIODevice : public juce::AudioIODevice
{
public:
    enum class Clocking
    {
        realTime,
        manual
    };

    static constexpr const char* deviceName = "Kestrune Synth Output";
    static constexpr const char* typeName = "Virtual Kestrune";
    static constexpr const char* inputChannelName = "Synth Out";
    static constexpr int defaultBufferSize = 512;

    VirtualKestruneAudioIODevice (std::shared_ptr<VirtualKestrune> machine, Clocking clocking,
                                  SimulatedClock* clockToAdvance = nullptr);
    ~VirtualKestruneAudioIODevice() override;

    // Manual clocking: renders n blocks and hands each to the callback. Does
    // nothing while the device is not started. Returns the blocks delivered.
    int renderBlocks (int numBlocks);
    // Renders whole blocks until at least this much audio has gone by.
    int renderMilliseconds (double ms);

    juce::int64 getSamplesRendered() const { return samplesRendered.load(); }

    // The machine's audio reaches the callback this many samples late, as
    // through a real interface's input buffering, and the device says so.
    // Set it while no block is being rendered.
    void setInputLatency (int samples);

    // Called on the rendering thread after each block has been delivered.
    std::function<void (juce::int64 samplesRenderedSoFar)> onBlockRendered;

    juce::StringArray getOutputChannelNames() override { return {}; }
    juce::StringArray getInputChannelNames() override { return { inputChannelName }; }
    juce::Array<double> getAvailableSampleRates() override { return { 44100.0, 48000.0 }; }
    juce::Array<int> getAvailableBufferSizes() override { return { 441, 480, 512 }; }
    int getDefaultBufferSize() override { return defaultBufferSize; }

    juce::String open (const juce::BigInteger& inputChannels, const juce::BigInteger& outputChannels,
                       double sampleRate, int bufferSizeSamples) override;
    void close() override;
    bool isOpen() override { return opened; }
    void start (juce::AudioIODeviceCallback* callback) override;
    void stop() override;
    bool isPlaying() override;
    juce::String getLastError() override { return lastError; }

    int getCurrentBufferSizeSamples() override { return bufferSize; }
    double getCurrentSampleRate() override { return sampleRate; }
    int getCurrentBitDepth() override { return 32; }
    juce::BigInteger getActiveOutputChannels() const override { return {}; }
    juce::BigInteger getActiveInputChannels() const override { return activeInputs; }
    int getOutputLatencyInSamples() override { return 0; }
    int getInputLatencyInSamples() override { return (int) latencyLine.size(); }

private:
    class RenderThread;

    void renderOneBlock();

    std::shared_ptr<VirtualKestrune> machine;
    const Clocking clocking;
    SimulatedClock* const clock;

    bool opened = false;
    double sampleRate = 48000.0;
    int bufferSize = defaultBufferSize;
    juce::BigInteger activeInputs;
    juce::String lastError;
    juce::AudioBuffer<float> block;
    std::vector<float> latencyLine;
    size_t latencyPosition = 0;
    std::atomic<juce::int64> samplesRendered { 0 };
    juce::int64 samplesAtOpen = 0;
    juce::uint64 microsAdvanced = 0;

    // With manual clocking, keeps start/stop from racing with renderBlocks.
    // The real-time thread never takes it: stop() ends the thread first.
    juce::CriticalSection manualLock;
    std::atomic<juce::AudioIODeviceCallback*> callback { nullptr };
    std::unique_ptr<RenderThread> thread;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VirtualKestruneAudioIODevice)
};

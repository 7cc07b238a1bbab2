#pragma once

#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>
#include <vector>

// An audio input device whose one input channel carries the virtual machine's
// Synth Output. Nothing happens until renderBlocks() is called, which renders
// and delivers blocks on the calling thread as fast as it can and advances the
// SimulatedClock (if one is given) by the duration of the audio rendered.
class VirtualKestruneAudioIODevice : public juce::AudioIODevice
{
public:
    static constexpr const char* deviceName = "Kestrune Synth Output";
    static constexpr const char* typeName = "Virtual Kestrune";
    static constexpr const char* inputChannelName = "Synth Out";
    static constexpr int defaultBufferSize = 512;

    explicit VirtualKestruneAudioIODevice (std::shared_ptr<VirtualKestrune> machine,
                                           SimulatedClock* clockToAdvance = nullptr);
    ~VirtualKestruneAudioIODevice() override;

    // Renders n blocks and hands each to the callback. Does nothing while the
    // device is not started. Returns the blocks delivered.
    int renderBlocks (int numBlocks);

    juce::int64 getSamplesRendered() const { return samplesRendered.load(); }

    // The machine's audio reaches the callback this many samples late, as
    // through a real interface's input buffering, and the device says so.
    // Set it while no block is being rendered.
    void setInputLatency (int samples);

    // Called on the thread calling renderBlocks after each block has been delivered.
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
    void renderOneBlock();

    std::shared_ptr<VirtualKestrune> machine;
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

    // Keeps start/stop from racing with renderBlocks.
    juce::CriticalSection renderLock;
    std::atomic<juce::AudioIODeviceCallback*> callback { nullptr };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VirtualKestruneAudioIODevice)
};

#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

// An input-only audio device whose capabilities and input latency a test
// chooses. It opens and starts without any hardware; deliver() hands one
// block to the callback on the calling thread, as an audio thread would.
class FakeInputDevice : public juce::AudioIODevice
{
public:
    struct Capabilities
    {
        juce::StringArray channelNames { "In 1", "In 2" };
        juce::Array<double> sampleRates { 44100.0, 48000.0 };
        juce::Array<int> bufferSizes { 512, 1024 };
        int defaultBufferSize = 512;
    };

    FakeInputDevice() : FakeInputDevice ("In", "Fake", Capabilities()) {}
    FakeInputDevice (const juce::String& name, const juce::String& typeName, Capabilities caps)
        : juce::AudioIODevice (name, typeName), capabilities (std::move (caps))
    {
    }
    ~FakeInputDevice() override { close(); }

    juce::StringArray getOutputChannelNames() override { return {}; }
    juce::StringArray getInputChannelNames() override { return capabilities.channelNames; }
    juce::Array<double> getAvailableSampleRates() override { return capabilities.sampleRates; }
    juce::Array<int> getAvailableBufferSizes() override { return capabilities.bufferSizes; }
    int getDefaultBufferSize() override { return capabilities.defaultBufferSize; }
    juce::String open (const juce::BigInteger& inputs, const juce::BigInteger&, double rate, int size) override
    {
        activeInputs = inputs;
        activeInputs.setRange (capabilities.channelNames.size(), 1 << 16, false);
        sampleRate = rate;
        bufferSize = size;
        return {};
    }
    void close() override { stop(), sampleRate = 0.0; }
    bool isOpen() override { return sampleRate > 0.0; }
    void start (juce::AudioIODeviceCallback* newCallback) override
    {
        if (newCallback != nullptr && callback == nullptr)
        {
            newCallback->audioDeviceAboutToStart (this);
            callback = newCallback;
        }
    }
    void stop() override
    {
        if (auto* old = std::exchange (callback, nullptr))
            old->audioDeviceStopped();
    }
    bool isPlaying() override { return callback != nullptr; }
    juce::String getLastError() override { return {}; }
    int getCurrentBufferSizeSamples() override { return bufferSize; }
    double getCurrentSampleRate() override { return sampleRate; }
    int getCurrentBitDepth() override { return 32; }
    juce::BigInteger getActiveOutputChannels() const override { return {}; }
    juce::BigInteger getActiveInputChannels() const override { return activeInputs; }
    int getOutputLatencyInSamples() override { return 0; }
    int getInputLatencyInSamples() override { return inputLatency; }

    // One block in which every active input carries this constant sample value.
    void deliver (float value, int numSamples)
    {
        const int numChannels = activeInputs.countNumberOfSetBits();
        juce::AudioBuffer<float> block (juce::jmax (1, numChannels), numSamples);
        for (int c = 0; c < block.getNumChannels(); ++c)
            juce::FloatVectorOperations::fill (block.getWritePointer (c), value, numSamples);
        if (callback != nullptr)
            callback->audioDeviceIOCallbackWithContext (block.getArrayOfReadPointers(), numChannels, nullptr, 0,
                                                        numSamples, {});
    }

    int inputLatency = 0;

private:
    const Capabilities capabilities;
    juce::BigInteger activeInputs;
    double sampleRate = 0.0;
    int bufferSize = 0;
    juce::AudioIODeviceCallback* callback = nullptr;
};

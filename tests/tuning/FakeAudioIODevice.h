#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

// An audio device that reports whatever sample rate, active inputs and input
// latency the test sets; nothing is ever opened or started, the test calls
// the callback itself.
class FakeAudioIODevice : public juce::AudioIODevice
{
public:
    explicit FakeAudioIODevice (double rate) : juce::AudioIODevice ("Fake Input", "Fake"), sampleRate (rate) {}

    double sampleRate;
    juce::BigInteger activeInputs { 1 };
    int inputLatency = 0;

    juce::StringArray getOutputChannelNames() override { return {}; }
    juce::StringArray getInputChannelNames() override { return { "In 1", "In 2", "In 3" }; }
    juce::Array<double> getAvailableSampleRates() override { return { 44100.0, 48000.0 }; }
    juce::Array<int> getAvailableBufferSizes() override { return { 441, 512 }; }
    int getDefaultBufferSize() override { return 512; }
    juce::String open (const juce::BigInteger&, const juce::BigInteger&, double, int) override { return {}; }
    void close() override {}
    bool isOpen() override { return true; }
    void start (juce::AudioIODeviceCallback*) override {}
    void stop() override {}
    bool isPlaying() override { return true; }
    juce::String getLastError() override { return {}; }
    int getCurrentBufferSizeSamples() override { return 512; }
    double getCurrentSampleRate() override { return sampleRate; }
    int getCurrentBitDepth() override { return 32; }
    juce::BigInteger getActiveOutputChannels() const override { return {}; }
    juce::BigInteger getActiveInputChannels() const override { return activeInputs; }
    int getOutputLatencyInSamples() override { return 0; }
    int getInputLatencyInSamples() override { return inputLatency; }
};

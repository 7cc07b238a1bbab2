#pragma once

#include "tuning/DetectTuneAudioCallback.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <atomic>

// Wraps the audio analysis and counts the frames it has analysed, so that a
// tuning algorithm can tell an estimate of the pitch it asked for from one of
// the pitch before. The detector completes a frame every hopSize samples of a
// single active input channel, counted from the device start. Each block goes
// to the analysis first and is counted after, so a counted frame always has
// its estimate published.
class AnalysisFrameCounter : public juce::AudioIODeviceCallback,
                             public juce::ReferenceCountedObject
{
public:
    using Ptr = juce::ReferenceCountedObjectPtr<AnalysisFrameCounter>;

    static constexpr int defaultHopSize = 8192;

    explicit AnalysisFrameCounter (DetectTuneAudioCallback::Ptr analysis, int hopSize = defaultHopSize);
    ~AnalysisFrameCounter() override;

    void audioDeviceIOCallbackWithContext (const float* const* inputChannelData,
                                           int numInputChannels,
                                           float* const* outputChannelData,
                                           int numOutputChannels,
                                           int numSamples,
                                           const juce::AudioIODeviceCallbackContext& context) override;
    void audioDeviceAboutToStart (juce::AudioIODevice* device) override;
    void audioDeviceStopped() override;
    void audioDeviceError (const juce::String& errorMessage) override;

    // Never decreases, also not across device restarts.
    juce::uint64 getNumFrames() const { return numFrames.load (std::memory_order_acquire); }

private:
    const DetectTuneAudioCallback::Ptr analysis;
    const int hopSize;
    std::atomic<int> samplesInHop { 0 };
    std::atomic<juce::uint64> numFrames { 0 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AnalysisFrameCounter)
};

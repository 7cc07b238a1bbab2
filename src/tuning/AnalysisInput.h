#pragma once

#include "tuning/DetectTuneAudioCallback.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <atomic>

// What the audio analysis hears. Sits between the audio device and the
// detector: hands it the one input channel chosen for the machine, whatever
// else the device has active (a JACK device counts every connected input as
// active), counts the frames the detector completes, and tells a tuning
// algorithm when the analysis has heard enough of the pitch it asked for.
//
// The detector completes a frame every hopSize samples of the analysed
// channel, counted from the device start. Each block goes to the analysis
// first and is counted after, so a counted frame always has its estimate
// published.
class AnalysisInput : public juce::AudioIODeviceCallback,
                      public juce::ReferenceCountedObject
{
public:
    using Ptr = juce::ReferenceCountedObjectPtr<AnalysisInput>;

    static constexpr int defaultHopSize = 8192;

    explicit AnalysisInput (DetectTuneAudioCallback::Ptr analysis, int hopSize = defaultHopSize);
    ~AnalysisInput() override;

    // The device's input channel that carries the machine (0 = the first).
    // Takes effect at once; a channel the device has not active is not heard.
    void setChannel (int deviceInputChannel);
    int getChannel() const { return channel.load(); }

    // Never decreases, also not across device restarts.
    juce::uint64 getNumFrames() const { return numFrames.load (std::memory_order_acquire); }
    // Blocks that carried the chosen channel; stops counting when the audio stops.
    juce::uint64 getNumBlocksHeard() const { return numBlocksHeard.load (std::memory_order_relaxed); }
    // The largest magnitude among the samples of the analysed channel that
    // the last counted frame took in: tells silence from a note. Read it
    // after getNumFrames, like the estimate.
    float getLastFramePeak() const { return lastFramePeak.load (std::memory_order_relaxed); }

    // Call right after sending a value that changes the pitch. The first
    // block that begins after this call, the device's input latency and one
    // more block for the way to the machine and back may still carry the old
    // pitch; the frames after them are clean.
    juce::uint32 markPitchChange();
    // True once the analysis has completed two whole frames of clean audio
    // since the mark (the estimate compares a frame with the one before it),
    // judged by the frame count taken before the estimate was read.
    bool hasSettledSince (juce::uint32 mark, juce::uint64 framesCounted) const;

    void audioDeviceIOCallbackWithContext (const float* const* inputChannelData,
                                           int numInputChannels,
                                           float* const* outputChannelData,
                                           int numOutputChannels,
                                           int numSamples,
                                           const juce::AudioIODeviceCallbackContext& context) override;
    void audioDeviceAboutToStart (juce::AudioIODevice* device) override;
    void audioDeviceStopped() override;
    void audioDeviceError (const juce::String& errorMessage) override;

private:
    int indexOfChannel (int numInputChannels) const;
    void resolvePitchChangeMark (int numSamples);

    const DetectTuneAudioCallback::Ptr analysis;
    const int hopSize;
    std::atomic<int> channel { 0 };
    // Written only while no block is being processed (device start).
    juce::BigInteger activeInputs { 1 };
    int inputLatencySamples = 0;

    std::atomic<int> samplesInHop { 0 };
    // Audio thread only: the peak of the hop in progress.
    float hopPeak = 0.0f;
    std::atomic<float> lastFramePeak { 0.0f };
    std::atomic<juce::uint64> numFrames { 0 };
    std::atomic<juce::uint64> numBlocksHeard { 0 };
    // The detector forgets its previous frame when the device starts.
    std::atomic<juce::uint64> firstFrameAfterStart { 0 };

    std::atomic<juce::uint32> marksRequested { 0 };
    std::atomic<juce::uint32> marksResolved { 0 };
    std::atomic<juce::uint64> settledAtFrame { 0 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AnalysisInput)
};

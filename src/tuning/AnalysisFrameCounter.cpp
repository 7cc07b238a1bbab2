#include "AnalysisFrameCounter.h"

AnalysisFrameCounter::AnalysisFrameCounter (DetectTuneAudioCallback::Ptr analysisToWrap, int hop)
    : analysis (std::move (analysisToWrap)), hopSize (hop)
{
    jassert (analysis != nullptr && hopSize > 0);
}

AnalysisFrameCounter::~AnalysisFrameCounter() = default;

void AnalysisFrameCounter::audioDeviceIOCallbackWithContext (const float* const* inputChannelData,
                                                             int numInputChannels,
                                                             float* const* outputChannelData,
                                                             int numOutputChannels,
                                                             int numSamples,
                                                             const juce::AudioIODeviceCallbackContext& context)
{
    analysis->audioDeviceIOCallbackWithContext (inputChannelData, numInputChannels, outputChannelData,
                                                numOutputChannels, numSamples, context);

    // Only a single active input channel is analysed.
    if (numInputChannels != 1 || inputChannelData == nullptr || inputChannelData[0] == nullptr || numSamples <= 0)
        return;

    auto filled = samplesInHop.load (std::memory_order_relaxed) + numSamples;
    juce::uint64 completed = 0;
    while (filled >= hopSize)
    {
        filled -= hopSize;
        ++completed;
    }
    samplesInHop.store (filled, std::memory_order_relaxed);
    if (completed > 0)
        numFrames.fetch_add (completed, std::memory_order_release);
}

void AnalysisFrameCounter::audioDeviceAboutToStart (juce::AudioIODevice* device)
{
    analysis->audioDeviceAboutToStart (device);
    samplesInHop.store (0, std::memory_order_relaxed);
}

void AnalysisFrameCounter::audioDeviceStopped()
{
    analysis->audioDeviceStopped();
}

void AnalysisFrameCounter::audioDeviceError (const juce::String& errorMessage)
{
    analysis->audioDeviceError (errorMessage);
}

#include "DetectTuneAudioCallback.h"

namespace
{
constexpr juce::int64 analysisFrameSize = 16384;
constexpr juce::int64 analysisOversampling = 2;
} // namespace

DetectTuneAudioCallback::DetectTuneAudioCallback() = default;

DetectTuneAudioCallback::~DetectTuneAudioCallback() = default;

void DetectTuneAudioCallback::audioDeviceIOCallbackWithContext (const float* const* inputChannelData,
                                                                int numInputChannels,
                                                                float* const* outputChannelData,
                                                                int numOutputChannels,
                                                                int numSamples,
                                                                const juce::AudioIODeviceCallbackContext&)
{
    // Only the one channel that carries the machine's output is analysed; with
    // any other number of active inputs the estimate keeps its value.
    if (numInputChannels == 1 && detector != nullptr && inputChannelData != nullptr
        && inputChannelData[0] != nullptr && numSamples > 0)
    {
        if (detector->processSamples (inputChannelData[0], numSamples))
            frequency.store (detector->getFrequency(), std::memory_order_relaxed);
    }

    if (outputChannelData != nullptr)
        for (int channel = 0; channel < numOutputChannels; ++channel)
            if (auto* output = outputChannelData[channel])
                juce::FloatVectorOperations::clear (output, numSamples);
}

void DetectTuneAudioCallback::audioDeviceAboutToStart (juce::AudioIODevice* device)
{
    jassert (device != nullptr);
    const auto sampleRate = device != nullptr ? device->getCurrentSampleRate() : 0.0;

    // Every start (registration, a new device, sample rate or buffer size)
    // begins the analysis again. The device manager never runs the I/O
    // callback during a start, so the detector can be replaced here; its
    // buffers and FFT plan are made now, off the audio thread.
    detector = std::make_unique<PitchDetector> (analysisFrameSize, analysisOversampling, (float) sampleRate);
    frequency.store (0.0f, std::memory_order_relaxed);
}

void DetectTuneAudioCallback::audioDeviceStopped() {}

float DetectTuneAudioCallback::getFrequency() const
{
    return frequency.load (std::memory_order_relaxed);
}

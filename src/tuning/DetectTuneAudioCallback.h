#pragma once

#include "tuning/PitchDetector.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <atomic>
#include <memory>

// The audio side of a calibration: feeds the one active input channel to a
// PitchDetector and silences every output. The engine reads the latest
// estimate from the message thread with getFrequency().
class DetectTuneAudioCallback : public juce::AudioIODeviceCallback,
                                public juce::ReferenceCountedObject
{
public:
    using Ptr = juce::ReferenceCountedObjectPtr<DetectTuneAudioCallback>;

    DetectTuneAudioCallback();
    ~DetectTuneAudioCallback() override;

    void audioDeviceIOCallbackWithContext (const float* const* inputChannelData,
                                           int numInputChannels,
                                           float* const* outputChannelData,
                                           int numOutputChannels,
                                           int numSamples,
                                           const juce::AudioIODeviceCallbackContext& context) override;
    void audioDeviceAboutToStart (juce::AudioIODevice* device) override;
    void audioDeviceStopped() override;

    // Hz; 0 before the first analysed frame after a device start.
    float getFrequency() const;

private:
    std::unique_ptr<PitchDetector> detector;
    std::atomic<float> frequency { 0.0f };

    static_assert (std::atomic<float>::is_always_lock_free);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DetectTuneAudioCallback)
};

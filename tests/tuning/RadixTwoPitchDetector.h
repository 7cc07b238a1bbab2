#pragma once

#include <juce_core/juce_core.h>

#include <vector>

// The phase-vocoder detector written the plain way: an in-place iterative
// radix-2 complex FFT, the Hann weight computed for every sample of every
// frame, and the surplus of the block that completes a frame dropped. It is
// the yardstick that PitchDetector's results and speed are measured against.
class RadixTwoPitchDetector
{
public:
    RadixTwoPitchDetector (juce::int64 frameSize, juce::int64 oversampling, float sampleRate);

    bool processSamples (const float* samples, juce::int64 count);
    float getFrequency() const { return frequency; }

    // In-place transform of n interleaved (re, im) pairs, n a power of two.
    static void computeFft (float* data, juce::int64 n, int sign);

private:
    void analyseFrame();

    float frequency = 0.0f;
    const juce::int64 frameSize, oversampling;
    const float sampleRate;
    std::vector<float> lastPhase, inputFifo, workspace;
};

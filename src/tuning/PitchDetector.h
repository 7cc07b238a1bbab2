#pragma once

#include <juce_core/juce_core.h>

#include <memory>
#include <vector>

// Phase-vocoder estimate of the frequency of the strongest partial: frames of
// frameSize samples every frameSize / oversampling input samples, Hann window,
// forward FFT, and for every bin a frequency refined from the phase advance
// since the previous frame. The estimate is the refined frequency of the bin
// with the largest magnitude (lowest bin on ties).
//
// Only the winning bin's frequency is ever read, so only its phase advance is
// worked out: the previous frame's spectrum is kept instead of a phase per
// bin, and its phase is taken when needed. That saves 8,192 arc-tangents per
// frame and gives bit for bit the estimate of refining every bin.
//
// Each frame is fifoLatency zeros followed by the next hop of input samples.
// All buffers and the FFT plan are made by the constructor, so processSamples
// neither allocates nor locks and may run on the audio thread.
class PitchDetector
{
public:
    PitchDetector (juce::int64 frameSize, juce::int64 oversampling, float sampleRate);
    ~PitchDetector();

    // True when at least one frame was analysed. Samples left over from the
    // block that completes a frame open the next one.
    bool processSamples (const float* samples, juce::int64 count);

    // Hz; 0 until the first frame has been analysed.
    float getFrequency() const { return frequency; }

private:
    void analyseFrame();

    float frequency = 0.0f;
    const juce::int64 frameSize;
    const juce::int64 oversampling;
    const float sampleRate;
    const double expectedPhaseStep;
    const juce::int64 fifoLatency;

    // Previous frame's bins, interleaved re and im; zeros before the first
    // frame, whose phases are then 0.
    std::vector<float> lastSpectrum;
    std::vector<float> inputFifo;
    juce::int64 fifoFill;
    std::vector<double> window;

    // The forward transform: frameSize real samples in, frameSize / 2 + 1
    // complex bins out. FFTW's where the build has it, JUCE's otherwise;
    // opaque here so that neither library's header is included through this one.
    struct Transform;
    std::unique_ptr<Transform> transform;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PitchDetector)
};

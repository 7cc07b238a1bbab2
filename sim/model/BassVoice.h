#pragma once

#include <juce_core/juce_core.h>

#include <atomic>

// The bass voice's oscillator: a square wave, mildly low-passed, at about
// -8 dBFS, with a little pitch jitter and a noise floor near -70 dBFS.
//
// Set from any thread; rendered by one audio thread at a time. render never
// allocates, locks or blocks: the parameters are single atomics and the
// oscillator's state belongs to the rendering thread.
class BassVoice
{
public:
    static constexpr float squareAmplitude = 0.398f;   // -8 dBFS
    static constexpr float noiseRms = 3.16e-4f;        // -70 dBFS
    static constexpr double jitterHz = 0.01;
    static constexpr double lowPassHz = 6000.0;

    explicit BassVoice (juce::uint32 seed = 1);

    // A new frequency takes effect from the next sample, the phase running on.
    void setSounding (bool shouldSound, double frequencyHz) noexcept;
    void setMuted (bool shouldBeMuted) noexcept;

    bool isSounding() const noexcept { return sounding.load (std::memory_order_relaxed); }
    double getFrequency() const noexcept { return frequency.load (std::memory_order_relaxed); }

    // Overwrites numSamples samples of dest.
    void render (float* dest, int numSamples, double sampleRate) noexcept;

private:
    float nextRandom() noexcept;   // uniform in [-1, 1)

    std::atomic<bool> sounding { false };
    std::atomic<bool> muted { false };
    std::atomic<double> frequency { 0.0 };

    // Audio thread only.
    double phase = 0.0;
    double jitter = 0.0;
    double jitterTarget = 0.0;
    int samplesUntilNewJitter = 0;
    double envelope = 0.0;
    double lowPassState = 0.0;
    juce::uint32 randomState;
};

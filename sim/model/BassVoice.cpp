#include "BassVoice.h"

#include <cmath>

namespace
{
// Correction that rounds off a unit step at phase 0 (PolyBLEP), so the square
// wave does not alias into the bass range that the tuner listens to.
double polyBlep (double t, double dt) noexcept
{
    if (t < dt)
    {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt)
    {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

constexpr double envelopeSeconds = 0.003;   // gate ramp, against clicks
constexpr int samplesPerJitterStep = 1024;
} // namespace

BassVoice::BassVoice (juce::uint32 seed) : randomState (seed == 0 ? 0x9E3779B9u : seed) {}

void BassVoice::setSounding (bool shouldSound, double frequencyHz) noexcept
{
    if (shouldSound)
        frequency.store (frequencyHz, std::memory_order_relaxed);
    sounding.store (shouldSound, std::memory_order_relaxed);
}

void BassVoice::setMuted (bool shouldBeMuted) noexcept
{
    muted.store (shouldBeMuted, std::memory_order_relaxed);
}

float BassVoice::nextRandom() noexcept
{
    // xorshift32
    randomState ^= randomState << 13;
    randomState ^= randomState >> 17;
    randomState ^= randomState << 5;
    return (float) ((double) randomState / 2147483648.0 - 1.0);
}

void BassVoice::render (float* dest, int numSamples, double sampleRate) noexcept
{
    if (dest == nullptr || numSamples <= 0 || ! (sampleRate > 0.0))
        return;

    const auto lowPass = 1.0 - std::exp (-juce::MathConstants<double>::twoPi * lowPassHz / sampleRate);
    const auto envelopeStep = 1.0 / (envelopeSeconds * sampleRate);
    const auto jitterSmoothing = 1.0 / samplesPerJitterStep;
    const auto noiseAmplitude = (double) noiseRms * std::sqrt (3.0);   // uniform noise of that RMS
    const auto isMuted = muted.load (std::memory_order_relaxed);

    for (int i = 0; i < numSamples; ++i)
    {
        // Read every sample, so that a new value sounds at once; the phase
        // carries on, so the change is continuous.
        const auto gate = sounding.load (std::memory_order_relaxed);
        const auto hz = frequency.load (std::memory_order_relaxed);

        if (--samplesUntilNewJitter <= 0)
        {
            samplesUntilNewJitter = samplesPerJitterStep;
            jitterTarget = jitterHz * nextRandom();
        }
        jitter += (jitterTarget - jitter) * jitterSmoothing;

        if (gate)
            envelope = envelope + envelopeStep < 1.0 ? envelope + envelopeStep : 1.0;
        else
            envelope = envelope - envelopeStep > 0.0 ? envelope - envelopeStep : 0.0;

        double square = 0.0;
        if (hz > 0.0)
        {
            auto dt = (hz + jitter) / sampleRate;
            dt = dt < 0.0 ? 0.0 : (dt > 0.5 ? 0.5 : dt);
            auto halfPhase = phase + 0.5;
            if (halfPhase >= 1.0)
                halfPhase -= 1.0;
            square = (phase < 0.5 ? 1.0 : -1.0) + polyBlep (phase, dt) - polyBlep (halfPhase, dt);
            phase += dt;
            if (phase >= 1.0)
                phase -= 1.0;
        }

        lowPassState += (square * squareAmplitude * envelope - lowPassState) * lowPass;
        const auto sample = lowPassState + noiseAmplitude * nextRandom();
        dest[i] = isMuted ? 0.0f : (float) sample;
    }
}

#include "ToneGenerator.h"

#include <juce_core/juce_core.h>

#include <cmath>

ToneGenerator::ToneGenerator (double frequency, double sampleRate, double a, bool s)
    : increment (frequency / sampleRate), amplitude (a), square (s)
{
}

float ToneGenerator::next()
{
    const double value = square ? (phase < 0.5 ? amplitude : -amplitude) : amplitude * std::sin (juce::MathConstants<double>::twoPi * phase);
    phase += increment;
    phase -= std::floor (phase);
    return (float) value;
}

void ToneGenerator::fill (float* samples, int numSamples)
{
    for (int i = 0; i < numSamples; ++i)
        samples[i] = next();
}

std::vector<float> ToneGenerator::take (std::size_t numSamples)
{
    std::vector<float> samples (numSamples);
    fill (samples.data(), (int) numSamples);
    return samples;
}

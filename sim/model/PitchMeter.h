#pragma once

#include <juce_core/juce_core.h>

// Measures the pitch of a clean periodic signal from its rising zero
// crossings, interpolated between samples, after removing the mean. Precise to
// a few thousandths of a hertz over a second or two of the machine's output;
// 0 when fewer than two crossings are found.
class PitchMeter
{
public:
    static double measure (const float* samples, int numSamples, double sampleRate);

    // RMS level in dBFS; -inf for silence.
    static double rmsDecibels (const float* samples, int numSamples);
};

#include "PitchMeter.h"

#include <cmath>
#include <limits>

double PitchMeter::measure (const float* samples, int numSamples, double sampleRate)
{
    if (samples == nullptr || numSamples < 2 || ! (sampleRate > 0.0))
        return 0.0;

    double mean = 0.0;
    for (int i = 0; i < numSamples; ++i)
        mean += samples[i];
    mean /= numSamples;

    // Hysteresis against noise: a crossing counts only after the signal has
    // been clearly negative since the previous one.
    double peak = 0.0;
    for (int i = 0; i < numSamples; ++i)
        peak = std::max (peak, std::abs (samples[i] - mean));
    const auto armLevel = -0.1 * peak;

    double first = -1.0, last = -1.0;
    int crossings = 0;
    bool armed = false;
    for (int i = 1; i < numSamples; ++i)
    {
        const auto a = samples[i - 1] - mean, b = samples[i] - mean;
        if (a < armLevel)
            armed = true;
        if (armed && a < 0.0 && b >= 0.0)
        {
            const auto t = (i - 1) + a / (a - b);
            if (crossings == 0)
                first = t;
            last = t;
            ++crossings;
            armed = false;
        }
    }

    if (crossings < 2 || last <= first)
        return 0.0;
    return (crossings - 1) * sampleRate / (last - first);
}

double PitchMeter::rmsDecibels (const float* samples, int numSamples)
{
    if (samples == nullptr || numSamples <= 0)
        return -std::numeric_limits<double>::infinity();
    double sum = 0.0;
    for (int i = 0; i < numSamples; ++i)
        sum += (double) samples[i] * samples[i];
    const auto rms = std::sqrt (sum / numSamples);
    return rms > 0.0 ? 20.0 * std::log10 (rms) : -std::numeric_limits<double>::infinity();
}

#include "RadixTwoPitchDetector.h"

#include <cmath>

RadixTwoPitchDetector::RadixTwoPitchDetector (juce::int64 frameSizeToUse, juce::int64 oversamplingToUse, float sampleRateToUse)
    : frameSize (frameSizeToUse),
      oversampling (oversamplingToUse),
      sampleRate (sampleRateToUse),
      expectedPhaseStep (2.0 * juce::MathConstants<double>::pi * (double) (frameSizeToUse / oversamplingToUse)
                         / (double) frameSizeToUse),
      fifoLatency (frameSizeToUse - frameSizeToUse / oversamplingToUse),
      lastPhase ((size_t) (frameSizeToUse / 2 + 1), 0.0f),
      analysisFrequency ((size_t) frameSizeToUse, 0.0f),
      analysisMagnitude ((size_t) frameSizeToUse, 0.0f),
      inputFifo ((size_t) fifoLatency, 0.0f),
      workspace ((size_t) (2 * frameSizeToUse), 0.0f)
{
    inputFifo.reserve ((size_t) (frameSize + 65536));
}

bool RadixTwoPitchDetector::processSamples (const float* samples, juce::int64 count)
{
    inputFifo.insert (inputFifo.end(), samples, samples + count);
    if ((juce::int64) inputFifo.size() < frameSize)
        return false;
    analyseFrame();
    inputFifo.resize ((size_t) fifoLatency);
    return true;
}

void RadixTwoPitchDetector::analyseFrame()
{
    constexpr double pi = juce::MathConstants<double>::pi;

    for (juce::int64 k = 0; k < frameSize; ++k)
    {
        const double weight = 0.5 - 0.5 * std::cos (2.0 * pi * (double) k / (double) frameSize);
        workspace[(size_t) (2 * k)] = (float) (inputFifo[(size_t) k] * weight);
        workspace[(size_t) (2 * k + 1)] = 0.0f;
    }

    computeFft (workspace.data(), frameSize, -1);

    const double binWidth = (double) sampleRate / (double) frameSize;
    for (juce::int64 k = 0; k <= frameSize / 2; ++k)
    {
        const double re = workspace[(size_t) (2 * k)];
        const double im = workspace[(size_t) (2 * k + 1)];
        const double magnitude = 2.0 * std::sqrt (re * re + im * im);
        double phase = 0.0;
        if (im != 0.0)
            phase = re == 0.0 ? (im > 0.0 ? pi / 2.0 : -pi / 2.0) : std::atan2 (im, re);

        double d = phase - lastPhase[(size_t) k];
        lastPhase[(size_t) k] = (float) phase;
        d -= (double) k * expectedPhaseStep;
        auto q = (juce::int64) (d / pi);
        if (q % 2 != 0)
            q += q >= 0 ? 1 : -1;
        d -= pi * (double) q;
        const double deviation = (double) oversampling * d / (2.0 * pi);
        analysisFrequency[(size_t) k] = (float) ((double) k * binWidth + deviation * binWidth);
        analysisMagnitude[(size_t) k] = (float) magnitude;
    }

    juce::int64 peak = 0;
    float peakMagnitude = 0.0f;
    for (juce::int64 k = 0; k < frameSize; ++k)
    {
        if (analysisMagnitude[(size_t) k] > peakMagnitude)
        {
            peakMagnitude = analysisMagnitude[(size_t) k];
            peak = k;
        }
    }
    frequency = analysisFrequency[(size_t) peak];
}

void RadixTwoPitchDetector::computeFft (float* data, juce::int64 n, int sign)
{
    for (juce::int64 i = 2; i < 2 * n - 2; i += 2)
    {
        juce::int64 j = 0;
        for (juce::int64 bitm = 2; bitm < 2 * n; bitm <<= 1)
        {
            if ((i & bitm) != 0)
                ++j;
            j <<= 1;
        }
        if (i < j)
        {
            std::swap (data[i], data[j]);
            std::swap (data[i + 1], data[j + 1]);
        }
    }

    const auto stages = (juce::int64) (std::log ((double) n) / std::log (2.0) + 0.5);
    for (juce::int64 k = 0, le = 2; k < stages; ++k)
    {
        le <<= 1;
        const auto le2 = le >> 1;
        float ur = 1.0f, ui = 0.0f;
        const float angle = juce::MathConstants<float>::pi / (float) (le2 >> 1);
        const float wr = std::cos (angle);
        const float wi = (float) sign * std::sin (angle);
        for (juce::int64 j = 0; j < le2; j += 2)
        {
            for (juce::int64 i = j; i < 2 * n; i += le)
            {
                float* p1 = data + i;
                float* p2 = data + i + le2;
                const float tr = p2[0] * ur - p2[1] * ui;
                const float ti = p2[0] * ui + p2[1] * ur;
                p2[0] = p1[0] - tr;
                p2[1] = p1[1] - ti;
                p1[0] += tr;
                p1[1] += ti;
            }
            const float tr = ur * wr - ui * wi;
            ui = ur * wi + ui * wr;
            ur = tr;
        }
    }
}

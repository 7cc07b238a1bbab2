#include "RadixTwoPitchDetector.h"

#include <cmath>

RadixTwoPitchDetector::RadixTwoPitchDetector (juce::int64 size, juce::int64 over, float rate)
    : frameSize (size), oversampling (over), sampleRate (rate), lastPhase ((size_t) (size / 2 + 1), 0.0f),
      inputFifo ((size_t) (size - size / over), 0.0f), workspace ((size_t) (2 * size), 0.0f)
{
    inputFifo.reserve ((size_t) (frameSize + 65536));
}

bool RadixTwoPitchDetector::processSamples (const float* samples, juce::int64 count)
{
    inputFifo.insert (inputFifo.end(), samples, samples + count);
    if ((juce::int64) inputFifo.size() < frameSize)
        return false;
    analyseFrame();
    inputFifo.resize ((size_t) (frameSize - frameSize / oversampling));
    return true;
}

void RadixTwoPitchDetector::analyseFrame()
{
    constexpr double pi = juce::MathConstants<double>::pi;
    for (juce::int64 k = 0; k < frameSize; ++k)
    {
        workspace[(size_t) (2 * k)] = (float) (inputFifo[(size_t) k] * (0.5 - 0.5 * std::cos (2.0 * pi * (double) k / (double) frameSize)));
        workspace[(size_t) (2 * k + 1)] = 0.0f;
    }
    computeFft (workspace.data(), frameSize, -1);

    // Every bin's frequency is refined from its phase advance; the strongest
    // wins, bin 0 when all are silent.
    const double binWidth = (double) sampleRate / (double) frameSize;
    const double expectedPhaseStep = 2.0 * pi * (double) (frameSize / oversampling) / (double) frameSize;
    float peakMagnitude = 0.0f;
    for (juce::int64 k = 0; k <= frameSize / 2; ++k)
    {
        const double re = workspace[(size_t) (2 * k)], im = workspace[(size_t) (2 * k + 1)];
        const double phase = im == 0.0 ? 0.0 : re == 0.0 ? (im > 0.0 ? pi / 2.0 : -pi / 2.0) : std::atan2 (im, re);
        double d = phase - lastPhase[(size_t) k] - (double) k * expectedPhaseStep;
        lastPhase[(size_t) k] = (float) phase;
        auto q = (juce::int64) (d / pi);
        if (q % 2 != 0)
            q += q >= 0 ? 1 : -1;
        d -= pi * (double) q;
        const auto magnitude = (float) (2.0 * std::sqrt (re * re + im * im));
        if (k == 0 || magnitude > peakMagnitude)
        {
            peakMagnitude = magnitude;
            frequency = (float) ((double) k * binWidth + (double) oversampling * d / (2.0 * pi) * binWidth);
        }
    }
}

void RadixTwoPitchDetector::computeFft (float* data, juce::int64 n, int sign)
{
    for (juce::int64 i = 2; i < 2 * n - 2; i += 2)
    {
        juce::int64 j = 0;
        for (juce::int64 bitm = 2; bitm < 2 * n; bitm <<= 1)
            j = (j + ((i & bitm) != 0 ? 1 : 0)) << 1;
        if (i < j)
            std::swap (data[i], data[j]), std::swap (data[i + 1], data[j + 1]);
    }
    for (juce::int64 le = 4; le <= 2 * n; le <<= 1)
    {
        const auto le2 = le >> 1;
        float ur = 1.0f, ui = 0.0f;
        const float angle = juce::MathConstants<float>::pi / (float) (le2 >> 1);
        const float wr = std::cos (angle), wi = (float) sign * std::sin (angle);
        for (juce::int64 j = 0; j < le2; j += 2)
        {
            for (juce::int64 i = j; i < 2 * n; i += le)
            {
                float* p1 = data + i;
                float* p2 = data + i + le2;
                const float tr = p2[0] * ur - p2[1] * ui, ti = p2[0] * ui + p2[1] * ur;
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

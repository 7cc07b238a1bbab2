#include "tuning/PitchDetector.h"
#include "tuning/RadixTwoPitchDetector.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

// The pitch detector's frame and construction timed with the standard clock
// alone, so that the same program runs where Google Benchmark is not built
// (the MinGW cross build, under Wine) and on Linux beside it. Figures only
// mean something in an optimised build.
namespace
{
constexpr int frameSize = 16384;
constexpr int hop = 8192;
constexpr int framesPerRun = 64;
constexpr int runs = 7;

// The same bass note with a few partials as PitchDetectorBenchmark's.
std::vector<float> testSignal (size_t numSamples)
{
    std::vector<float> samples (numSamples);
    for (size_t n = 0; n < numSamples; ++n)
    {
        const double t = (double) n / 48000.0;
        samples[n] = (float) (0.5 * std::sin (2.0 * juce::MathConstants<double>::pi * 65.4 * t) + 0.2 * std::sin (2.0 * juce::MathConstants<double>::pi * 196.2 * t)
                              + 0.1 * std::sin (2.0 * juce::MathConstants<double>::pi * 327.0 * t));
    }
    return samples;
}

double milliseconds (std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli> (d).count(); }

double median (std::vector<double> values)
{
    std::sort (values.begin(), values.end());
    return values[values.size() / 2];
}

// Median over runs of the time of one frame: a hop of new samples at once.
template <typename Detector>
double frameMilliseconds (const std::vector<float>& signal)
{
    Detector detector (frameSize, 2, 48000.0f);
    std::vector<double> perFrame;
    size_t position = 0;
    for (int run = 0; run <= runs; ++run) // run 0 warms up
    {
        const auto start = std::chrono::steady_clock::now();
        for (int frame = 0; frame < framesPerRun; ++frame)
        {
            detector.processSamples (signal.data() + position, hop);
            position = (position + hop) % signal.size();
        }
        if (run > 0)
            perFrame.push_back (milliseconds (std::chrono::steady_clock::now() - start) / framesPerRun);
    }
    std::printf ("    (estimate %.4f Hz)\n", (double) detector.getFrequency());
    return median (perFrame);
}

double constructionMilliseconds()
{
    std::vector<double> each;
    for (int run = 0; run <= runs; ++run)
    {
        const auto start = std::chrono::steady_clock::now();
        const PitchDetector detector (frameSize, 2, 48000.0f);
        if (run > 0)
            each.push_back (milliseconds (std::chrono::steady_clock::now() - start));
    }
    return median (each);
}
} // namespace

int main()
{
    const auto signal = testSignal (64 * hop);
    std::printf ("PitchDetector frame:     %.3f ms\n", frameMilliseconds<PitchDetector> (signal));
    std::printf ("radix-2 reference frame: %.3f ms\n", frameMilliseconds<RadixTwoPitchDetector> (signal));
    std::printf ("PitchDetector construction: %.3f ms\n", constructionMilliseconds());
    std::printf ("(medians of %d runs of %d frames of %d samples, hop %d)\n", runs, framesPerRun, frameSize, hop);
    return 0;
}

#include "RadixTwoPitchDetector.h"
#include "tuning/PitchDetector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{
constexpr juce::int64 frameSize = 16384;
constexpr juce::int64 hop = 8192;

std::vector<float> sine (double frequency, double sampleRate, size_t numSamples, double amplitude = 0.5)
{
    std::vector<float> samples (numSamples);
    for (size_t n = 0; n < numSamples; ++n)
        samples[n] = (float) (amplitude * std::sin (2.0 * juce::MathConstants<double>::pi * frequency * (double) n / sampleRate));
    return samples;
}

std::vector<float> square (double frequency, double sampleRate, size_t numSamples)
{
    std::vector<float> samples (numSamples);
    double phase = 0.0;
    for (size_t n = 0; n < numSamples; ++n)
    {
        samples[n] = phase < 0.5 ? 0.5f : -0.5f;
        phase += frequency / sampleRate;
        phase -= std::floor (phase);
    }
    return samples;
}

// Feeds the signal in blocks of blockSize and returns the estimate after
// every analysed frame, in order.
template <typename Detector>
std::vector<float> estimatesPerFrame (Detector& detector, const std::vector<float>& signal, size_t blockSize)
{
    std::vector<float> estimates;
    for (size_t start = 0; start < signal.size(); start += blockSize)
    {
        const auto count = std::min (blockSize, signal.size() - start);
        if (detector.processSamples (signal.data() + start, (juce::int64) count))
            estimates.push_back (detector.getFrequency());
    }
    return estimates;
}

std::vector<float> estimatesPerFrame (const std::vector<float>& signal, float sampleRate, size_t blockSize)
{
    PitchDetector detector (frameSize, 2, sampleRate);
    return estimatesPerFrame (detector, signal, blockSize);
}

// With 512-sample blocks both keep adjacent stretches of the input, so the
// estimates must agree frame by frame to the precision of the transforms.
void expectEstimatesOfTheRadixTwoTransform (const std::vector<float>& signal, float sampleRate, float tolerance)
{
    PitchDetector ours (frameSize, 2, sampleRate);
    RadixTwoPitchDetector plain (frameSize, 2, sampleRate);
    const auto expected = estimatesPerFrame (plain, signal, 512);
    const auto actual = estimatesPerFrame (ours, signal, 512);
    ASSERT_EQ (actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR (actual[i], expected[i], tolerance) << "frame " << i;
}

double cents (double measured, double target)
{
    return 1200.0 * std::log2 (measured / target);
}
} // namespace

TEST (PitchDetectorTest, StartsAtZeroAndSilenceGivesZero)
{
    PitchDetector detector (frameSize, 2, 48000.0f);
    EXPECT_EQ (detector.getFrequency(), 0.0f);

    const auto estimates = estimatesPerFrame (detector, std::vector<float> (5 * hop, 0.0f), 512);
    ASSERT_EQ (estimates.size(), 5u);
    for (auto f : estimates)
        EXPECT_EQ (f, 0.0f);
}

TEST (PitchDetectorTest, SineBetweenBinsReadsItsOwnFrequencyFromTheSecondFrame)
{
    // 100 Hz at 48 kHz lies between the bins at 99.6 Hz and 102.5 Hz.
    for (const float rate : { 48000.0f, 44100.0f })
    {
        const auto estimates = estimatesPerFrame (sine (100.0, rate, 12 * hop), rate, 512);
        ASSERT_EQ (estimates.size(), 12u);
        // The first frame compares against zero phases: only near the peak bin.
        EXPECT_NEAR (estimates[0], 100.0f, rate / (float) frameSize);
        for (size_t i = 1; i < estimates.size(); ++i)
            EXPECT_NEAR (estimates[i], 100.0f, 0.05f) << "frame " << i << " at " << rate;
    }
}

TEST (PitchDetectorTest, FramesCompleteEvery8192SamplesWhateverTheBlockSize)
{
    // With 512-sample blocks the first frame completes in the 16th callback,
    // with 441-sample blocks in the 19th.
    for (const juce::int64 blockSize : { 512, 441, 480, 1000 })
    {
        PitchDetector detector (frameSize, 2, 48000.0f);
        const std::vector<float> block ((size_t) blockSize, 0.25f);
        for (juce::int64 callback = 1; callback <= 200; ++callback)
        {
            const bool completes = (callback * blockSize) / hop > ((callback - 1) * blockSize) / hop;
            EXPECT_EQ (detector.processSamples (block.data(), blockSize), completes)
                << "callback " << callback << " with blocks of " << blockSize;
        }
    }
}

TEST (PitchDetectorTest, SurplusOfTheCompletingBlockOpensTheNextFrame)
{
    // Every frame must hold the next 8,192 input samples whatever the block
    // size, so every block size gives the very estimates of 8,192-sample
    // blocks. A frequency sweep makes each frame's estimate depend on which
    // samples it holds.
    std::vector<float> signal (10 * hop);
    double phase = 0.0;
    for (size_t n = 0; n < signal.size(); ++n)
    {
        const double f = 60.0 + 80.0 * (double) n / (double) signal.size();
        phase += 2.0 * juce::MathConstants<double>::pi * f / 48000.0;
        signal[n] = (float) (0.5 * std::sin (phase));
    }

    const auto reference = estimatesPerFrame (signal, 48000.0f, (size_t) hop);
    ASSERT_EQ (reference.size(), 10u);

    // A block longer than a hop completes several frames; the estimate after
    // it is that of the last frame it completed.
    for (const size_t blockSize : { 441, 480, 512, 3 * 8192 + 100 })
    {
        PitchDetector detector (frameSize, 2, 48000.0f);
        size_t framesChecked = 0;
        for (size_t start = 0; start < signal.size(); start += blockSize)
        {
            const auto count = std::min (blockSize, signal.size() - start);
            if (detector.processSamples (signal.data() + start, (juce::int64) count))
            {
                const auto lastFrame = (start + count) / (size_t) hop - 1;
                EXPECT_EQ (detector.getFrequency(), reference[lastFrame]) << "frame " << lastFrame << ", blocks of " << blockSize;
                ++framesChecked;
            }
        }
        EXPECT_EQ (framesChecked, blockSize < (size_t) hop ? 10u : 4u) << "blocks of " << blockSize;
    }
}

TEST (PitchDetectorTest, SteadySineReadsTrueWithBlockSizesThatDoNotDivideTheHop)
{
    for (const size_t blockSize : { 441, 480 })
    {
        for (const float rate : { 44100.0f, 48000.0f })
        {
            const auto estimates = estimatesPerFrame (sine (100.0, rate, 10 * hop), rate, blockSize);
            ASSERT_GE (estimates.size(), 9u);
            for (size_t i = 1; i < estimates.size(); ++i)
                EXPECT_NEAR (estimates[i], 100.0f, 0.05f) << "frame " << i << ", blocks of " << blockSize << " at " << rate;
        }
    }
}

TEST (PitchDetectorTest, SquareWavesOfEveryCalibratedNoteReadWithinTheirBounds)
{
    for (const float rate : { 44100.0f, 48000.0f })
    {
        for (int note = 24; note <= 63; ++note)
        {
            const double target = 440.0 * std::pow (2.0, (note - 69) / 12.0);
            const auto estimates = estimatesPerFrame (square (target, rate, 4 * hop), rate, 512);
            ASSERT_EQ (estimates.size(), 4u);

            // The largest errors of the plain radix-2 detector on these
            // signals: 3.39, 1.012 and 0.262 cents.
            const double bound = note <= 35 ? 3.5 : note <= 47 ? 1.05 : 0.3;
            for (size_t i = 1; i < estimates.size(); ++i)
                EXPECT_LE (std::abs (cents (estimates[i], target)), bound)
                    << "note " << note << " at " << rate << ", frame " << i << ": " << estimates[i] << " Hz";
        }
    }
}

TEST (PitchDetectorTest, AgreesWithTheRadixTwoTransformFrameByFrame)
{
    std::vector<std::vector<float>> signals { sine (100.0, 48000.0, 8 * hop),
                                              square (41.2, 48000.0, 8 * hop),
                                              sine (311.1, 48000.0, 8 * hop, 0.01) };
    for (const auto& signal : signals)
        expectEstimatesOfTheRadixTwoTransform (signal, 48000.0f, 0.001f);
}

TEST (PitchDetectorTest, FollowsAToneThatJumpsToAnotherBinAsTheRadixTwoTransformDoes)
{
    // The strongest bin moves from frame to frame: its phase advance must be
    // taken against that same bin's phase in the previous frame, whichever
    // bin won there.
    std::vector<float> signal;
    for (const double frequency : { 55.0, 196.0, 61.7, 311.1, 32.7 })
    {
        const auto part = square (frequency, 44100.0, 3 * hop + 300);
        signal.insert (signal.end(), part.begin(), part.end());
    }

    expectEstimatesOfTheRadixTwoTransform (signal, 44100.0f, 0.002f);
}

#include "RadixTwoPitchDetector.h"
#include "tuning/PitchDetector.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
constexpr juce::int64 frameSize = 16384;
constexpr size_t hop = 8192;

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
    for (auto& sample : samples)
    {
        sample = phase < 0.5 ? 0.5f : -0.5f;
        phase += frequency / sampleRate;
        phase -= std::floor (phase);
    }
    return samples;
}

// Feeds the signal in blocks and returns the estimate after every block that
// completed a frame.
template <typename Detector = PitchDetector>
std::vector<float> estimates (const std::vector<float>& signal, float sampleRate, size_t blockSize = 512)
{
    Detector detector (frameSize, 2, sampleRate);
    std::vector<float> result;
    for (size_t start = 0; start < signal.size(); start += blockSize)
        if (detector.processSamples (signal.data() + start, (juce::int64) std::min (blockSize, signal.size() - start)))
            result.push_back (detector.getFrequency());
    return result;
}
} // namespace

TEST (PitchDetectorTest, ReadsSilenceAsZeroAndEveryCalibratedNoteWithinItsBound)
{
    PitchDetector detector (frameSize, 2, 48000.0f);
    EXPECT_EQ (detector.getFrequency(), 0.0f);
    EXPECT_EQ (estimates (std::vector<float> (5 * hop, 0.0f), 48000.0f), std::vector<float> (5, 0.0f));

    for (const float rate : { 44100.0f, 48000.0f })
    {
        // 100 Hz lies between two bins; the first frame compares against zero
        // phases and reads only near the peak bin.
        const auto atHundred = estimates (sine (100.0, rate, 12 * hop), rate);
        ASSERT_EQ (atHundred.size(), 12u);
        EXPECT_NEAR (atHundred[0], 100.0f, rate / (float) frameSize);
        for (size_t i = 1; i < atHundred.size(); ++i)
            EXPECT_NEAR (atHundred[i], 100.0f, 0.05f) << "frame " << i << " at " << rate;

        for (int note = 24; note <= 63; ++note)
        {
            const double target = 440.0 * std::pow (2.0, (note - 69) / 12.0);
            const auto read = estimates (square (target, rate, 4 * hop), rate);
            ASSERT_EQ (read.size(), 4u);
            // The largest errors of the plain radix-2 detector on these
            // signals: 3.39, 1.012 and 0.262 cents.
            const double bound = note <= 35 ? 3.5 : note <= 47 ? 1.05 : 0.3;
            for (size_t i = 1; i < read.size(); ++i)
                EXPECT_LE (std::abs (1200.0 * std::log2 (read[i] / target)), bound) << "note " << note << " at " << rate << ", frame " << i;
        }
    }
}

TEST (PitchDetectorTest, FramesAreWholeHopsOfInputWhateverTheBlockSize)
{
    // A sweep makes each frame's estimate depend on which samples it holds.
    std::vector<float> signal (10 * hop);
    double phase = 0.0;
    for (size_t n = 0; n < signal.size(); ++n)
    {
        phase += 2.0 * juce::MathConstants<double>::pi * (60.0 + 80.0 * (double) n / (double) signal.size()) / 48000.0;
        signal[n] = (float) (0.5 * std::sin (phase));
    }
    const auto reference = estimates (signal, 48000.0f, hop);
    ASSERT_EQ (reference.size(), 10u);

    // The surplus of the block that completes a frame opens the next one; a
    // block longer than a hop completes several frames and leaves the last one's estimate.
    for (const size_t blockSize : { 441, 480, 512, 1000, 3 * 8192 + 100 })
    {
        PitchDetector detector (frameSize, 2, 48000.0f);
        for (size_t start = 0; start < signal.size(); start += blockSize)
        {
            const auto count = std::min (blockSize, signal.size() - start);
            const bool completes = (start + count) / hop > start / hop;
            ASSERT_EQ (detector.processSamples (signal.data() + start, (juce::int64) count), completes) << "blocks of " << blockSize << " at " << start;
            EXPECT_TRUE (! completes || detector.getFrequency() == reference[(start + count) / hop - 1]) << "blocks of " << blockSize << " at " << start;
        }
    }
}

TEST (PitchDetectorTest, AgreesWithTheRadixTwoTransformFrameByFrame)
{
    // Loud and quiet tones, and tones whose strongest bin jumps from frame to
    // frame: the phase advance must be taken against that same bin's phase in
    // the previous frame, whichever bin won there.
    std::vector<float> signal = sine (100.0, 44100.0, 4 * hop);
    for (const auto& part : { square (41.2, 44100.0, 4 * hop), sine (311.1, 44100.0, 4 * hop, 0.01), square (55.0, 44100.0, 3 * hop + 300),
                              square (196.0, 44100.0, 3 * hop + 300), square (61.7, 44100.0, 3 * hop + 300), square (311.1, 44100.0, 3 * hop + 300),
                              square (32.7, 44100.0, 3 * hop + 300) })
        signal.insert (signal.end(), part.begin(), part.end());

    const auto expected = estimates<RadixTwoPitchDetector> (signal, 44100.0f);
    const auto actual = estimates (signal, 44100.0f);
    ASSERT_EQ (actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR (actual[i], expected[i], 0.002f) << "frame " << i;
}

#include "RadixTwoPitchDetector.h"
#include "support/ToneGenerator.h"
#include "tuning/PitchDetector.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
constexpr juce::int64 frameSize = 16384;
constexpr size_t hop = 8192;

// The estimate after every block that completed a frame, and that frame's index.
template <typename Detector = PitchDetector>
std::vector<std::pair<size_t, float>> estimates (const std::vector<float>& signal, float rate, size_t blockSize = 512)
{
    Detector detector (frameSize, 2, rate);
    std::vector<std::pair<size_t, float>> result;
    for (size_t start = 0; start < signal.size(); start += blockSize)
    {
        const auto count = std::min (blockSize, signal.size() - start);
        if (detector.processSamples (signal.data() + start, (juce::int64) count))
            result.push_back ({ (start + count) / hop - 1, detector.getFrequency() });
    }
    return result;
}
} // namespace

TEST (PitchDetectorTest, ReadsSilenceAsZeroAndEveryCalibratedNoteWithinItsBound)
{
    PitchDetector detector (frameSize, 2, 48000.0f);
    EXPECT_EQ (detector.getFrequency(), 0.0f);
    const std::vector<float> silence (5 * hop, 0.0f);
    for (size_t block = 0; block < 5 * 16; ++block)
        EXPECT_TRUE (detector.processSamples (silence.data() + 512 * block, 512) == (block % 16 == 15) && detector.getFrequency() == 0.0f) << block;
    for (const float rate : { 44100.0f, 48000.0f })
    {
        for (int note = 24; note <= 63; ++note)
        {
            const double target = 440.0 * std::pow (2.0, (note - 69) / 12.0);
            // The largest errors of the plain radix-2 detector on these signals: 3.39, 1.012 and 0.262 cents.
            const double bound = note <= 35 ? 3.5 : note <= 47 ? 1.05 : 0.3;
            const auto read = estimates (ToneGenerator (target, rate, 0.5, true).take (4 * hop), rate);
            ASSERT_EQ (read.size(), 4u);
            for (size_t i = 1; i < read.size(); ++i) // the first frame compares against zero phases
                EXPECT_LE (std::abs (1200.0 * std::log2 (read[i].second / target)), bound) << "note " << note << " at " << rate << ", frame " << i;
        }
    }
}

TEST (PitchDetectorTest, AgreesWithTheRadixTwoTransformFrameByFrameWhateverTheBlockSize)
{
    // Loud and quiet tones, and tones whose strongest bin jumps from frame to
    // frame: the phase advance must be taken against that same bin's phase in
    // the previous frame, whichever bin won there.
    std::vector<float> signal;
    for (const auto& [frequency, square, amplitude] : { std::tuple { 100.0, false, 0.5 }, { 41.2, true, 0.5 }, { 311.1, false, 0.01 }, { 55.0, true, 0.5 },
                                                        { 196.0, true, 0.5 }, { 61.7, true, 0.5 }, { 311.1, true, 0.5 }, { 32.7, true, 0.5 } })
        for (const auto sample : ToneGenerator (frequency, 44100.0, amplitude, square).take (3 * hop + 300))
            signal.push_back (sample);
    const auto expected = estimates<RadixTwoPitchDetector> (signal, 44100.0f);
    ASSERT_EQ (expected.size(), signal.size() / hop);

    // Each frame holds the next hop of input, so the surplus of the block that
    // completes one opens the next; a block longer than a hop completes several.
    for (const size_t blockSize : { 512, 441, 480, 3 * 8192 + 100 })
    {
        SCOPED_TRACE ("blocks of " + std::to_string (blockSize));
        const auto read = estimates (signal, 44100.0f, blockSize);
        EXPECT_EQ (read.back().first + 1, expected.size());
        EXPECT_TRUE (blockSize > hop || read.size() == expected.size());
        for (size_t i = 0; i < read.size(); ++i)
        {
            EXPECT_TRUE (i == 0 || read[i].first > read[i - 1].first) << "frame " << read[i].first << " twice";
            EXPECT_NEAR (read[i].second, expected.at (read[i].first).second, 0.002f) << "frame " << read[i].first;
        }
    }
}

TEST (PitchDetectorTest, ReadsWhatTheLinuxBuildReadsOnEveryTransform)
{
    // The last frame's estimate as the Linux build reads it on FFTW; a build on
    // JUCE's own FFT (Windows) must read the same within 0.01 Hz.
    for (const auto& [frequency, square, rate, onLinux] : { std::tuple { 65.4, false, 48000.0f, 65.4185 }, { 41.2, true, 44100.0f, 41.2384 },
                                                          { 311.1, false, 44100.0f, 311.0967 }, { 30.87, true, 48000.0f, 30.8016 } })
    {
        const auto read = estimates (ToneGenerator (frequency, rate, 0.5, square).take (4 * hop), rate);
        ASSERT_EQ (read.size(), 4u);
        EXPECT_NEAR (read.back().second, onLinux, 0.01) << frequency << " Hz at " << rate;
    }
}

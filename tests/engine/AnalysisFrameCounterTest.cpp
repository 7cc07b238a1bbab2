#include "tuning/AnalysisFrameCounter.h"
#include "tuning/FakeAudioIODevice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
struct AnalysisFrameCounterTest : ::testing::Test
{
    FakeAudioIODevice device { 48000.0 };
    DetectTuneAudioCallback::Ptr analysis = new DetectTuneAudioCallback();
    AnalysisFrameCounter::Ptr counter = new AnalysisFrameCounter (analysis);
    std::vector<float> sine;
    juce::int64 phase = 0;

    AnalysisFrameCounterTest() { counter->audioDeviceAboutToStart (&device); }

    // Feeds blocks of a 100 Hz sine; returns the frame count seen after each.
    void feed (int blockSize, int numBlocks, int numChannels = 1)
    {
        sine.resize ((size_t) blockSize);
        float* outputs[1] = { nullptr };
        for (int b = 0; b < numBlocks; ++b)
        {
            for (auto& s : sine)
                s = (float) std::sin (2.0 * juce::MathConstants<double>::pi * 100.0 * (double) phase++ / 48000.0);
            const float* inputs[2] = { sine.data(), sine.data() };
            counter->audioDeviceIOCallbackWithContext (inputs, numChannels, outputs, 0, blockSize, {});
        }
    }
};
} // namespace

TEST_F (AnalysisFrameCounterTest, CountsAFrameEvery8192SamplesAlongWithTheEstimate)
{
    feed (512, 15);
    EXPECT_EQ (counter->getNumFrames(), 0u);
    EXPECT_EQ (analysis->getFrequency(), 0.0f);

    feed (512, 1);
    EXPECT_EQ (counter->getNumFrames(), 1u);
    EXPECT_NE (analysis->getFrequency(), 0.0f); // published by the frame just counted

    feed (512, 16);
    EXPECT_EQ (counter->getNumFrames(), 2u);
    EXPECT_NEAR (analysis->getFrequency(), 100.0f, 1.0f);

    // Blocks that do not divide the hop carry the remainder over.
    feed (441, 19);
    EXPECT_EQ (counter->getNumFrames(), 3u); // 8379 samples
    feed (441, 18);
    EXPECT_EQ (counter->getNumFrames(), 3u); // 16317
    feed (441, 1);
    EXPECT_EQ (counter->getNumFrames(), 4u); // 16758
}

TEST_F (AnalysisFrameCounterTest, OnlyASingleActiveInputIsCountedAndADeviceStartRestartsTheHop)
{
    feed (512, 40, 2);
    EXPECT_EQ (counter->getNumFrames(), 0u);

    // A restart discards the partial hop but keeps the count.
    feed (512, 16);
    EXPECT_EQ (counter->getNumFrames(), 1u);
    feed (512, 10);
    counter->audioDeviceAboutToStart (&device);
    EXPECT_EQ (analysis->getFrequency(), 0.0f);
    feed (512, 15);
    EXPECT_EQ (counter->getNumFrames(), 1u);
    feed (512, 1);
    EXPECT_EQ (counter->getNumFrames(), 2u);
}

#include "tuning/AnalysisInput.h"
#include "tuning/FakeAudioIODevice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
struct AnalysisInputTest : ::testing::Test
{
    AnalysisInputTest() { input->audioDeviceAboutToStart (&device); }

    // Feeds blocks of a 100 Hz sine.
    void feed (int blockSize, int numBlocks)
    {
        std::vector<float> block ((size_t) blockSize);
        const float* channels[1] = { block.data() };
        for (int b = 0; b < numBlocks; ++b)
        {
            for (auto& sample : block)
                sample = (float) std::sin (juce::MathConstants<double>::twoPi * 100.0 * (double) phase++ / 48000.0);
            input->audioDeviceIOCallbackWithContext (channels, 1, nullptr, 0, blockSize, {});
        }
    }

    FakeAudioIODevice device { 48000.0 };
    DetectTuneAudioCallback::Ptr analysis = new DetectTuneAudioCallback();
    AnalysisInput::Ptr input = new AnalysisInput (analysis);
    juce::int64 phase = 0;
};
} // namespace

TEST_F (AnalysisInputTest, APitchChangeSettlesAfterTwoFramesOfCleanAudio)
{
    // The block that begins after the mark, the input latency and one more
    // block may carry the old pitch; two whole hops of 8192 after them.
    struct Case
    {
        int blocksIntoHop, blockSize, inputLatency;
        juce::uint64 framesToWait;
    };
    for (const auto& c : { Case { 0, 512, 0, 3 }, Case { 13, 512, 0, 3 }, Case { 15, 512, 0, 4 },
                           Case { 0, 512, 7168, 3 }, Case { 0, 512, 7169, 4 }, Case { 0, 441, 20000, 5 } })
    {
        SCOPED_TRACE (juce::String (c.blocksIntoHop) + " blocks, latency " + juce::String (c.inputLatency));
        device.inputLatency = c.inputLatency;
        input->audioDeviceAboutToStart (&device);
        feed (512, 32);   // past the first two frames after the start, at the start of a hop
        feed (c.blockSize, c.blocksIntoHop);
        const auto frames = input->getNumFrames();
        const auto mark = input->markPitchChange();
        EXPECT_FALSE (input->hasSettledSince (mark, frames + 10)) << "settled before any block was heard";
        feed (c.blockSize, 1);
        EXPECT_FALSE (input->hasSettledSince (mark, frames + c.framesToWait - 1));
        EXPECT_TRUE (input->hasSettledSince (mark, frames + c.framesToWait));
        EXPECT_NEAR (analysis->getFrequency(), 100.0f, 1.0f);

        // A device start needs two new frames whatever the mark said.
        feed (512, 64);
        input->audioDeviceAboutToStart (&device);
        EXPECT_EQ (analysis->getFrequency(), 0.0f);
        const auto restarted = input->getNumFrames();
        EXPECT_FALSE (input->hasSettledSince (mark, restarted + 1));
        EXPECT_TRUE (input->hasSettledSince (mark, restarted + 2));
    }
}

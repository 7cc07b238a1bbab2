#include "tuning/AnalysisInput.h"
#include "support/FakeInputDevice.h"
#include "support/ToneGenerator.h"

#include <gtest/gtest.h>

namespace
{
struct AnalysisInputTest : ::testing::Test
{
    FakeInputDevice device { "In", "Fake", { { "In 1", "In 2", "In 3" } } };
    DetectTuneAudioCallback::Ptr analysis = new DetectTuneAudioCallback();
    AnalysisInput::Ptr input = new AnalysisInput (analysis);
    ToneGenerator tones[3] { { 100.0, 48000.0 }, { 200.0, 48000.0 }, { 300.0, 48000.0 } };

    // Blocks in which the i-th channel passed carries a sine of 100 * (i + 1) Hz.
    void feed (int blockSize, int numBlocks, int numChannels = 1)
    {
        juce::AudioBuffer<float> block (numChannels, blockSize);
        for (int b = 0; b < numBlocks; ++b)
        {
            for (int c = 0; c < numChannels; ++c)
                tones[(size_t) c].fill (block.getWritePointer (c), blockSize);
            input->audioDeviceIOCallbackWithContext (block.getArrayOfReadPointers(), numChannels, nullptr, 0, blockSize, {});
        }
    }
};
} // namespace

TEST_F (AnalysisInputTest, HearsTheChosenChannelWhateverElseIsActive)
{
    // A JACK device makes every connected input active and passes the active ones only, in order.
    struct Case { int activeMask, chosen; float expectedHz; };   // 0 Hz: the chosen channel is not active
    for (const auto& c : { Case { 0b11, 1, 200.0f }, Case { 0b111, 2, 300.0f }, Case { 0b101, 2, 200.0f }, Case { 0b110, 0, 0.0f } })
    {
        SCOPED_TRACE (juce::String (c.activeMask) + " channel " + juce::String (c.chosen));
        device.open (c.activeMask, {}, 48000.0, 512);
        input->setChannel (c.chosen);
        input->audioDeviceAboutToStart (&device);
        const auto framesBefore = input->getNumFrames();
        feed (512, 48, juce::BigInteger (c.activeMask).countNumberOfSetBits());
        EXPECT_NEAR (analysis->getFrequency(), c.expectedHz, 0.05f);
        EXPECT_EQ (input->getNumFrames() - framesBefore, c.expectedHz > 0.0f ? 3u : 0u);
    }
}

TEST_F (AnalysisInputTest, APitchChangeSettlesAfterTwoFramesOfCleanAudio)
{
    // The block that begins after the mark, the input latency and one more block may carry the old pitch.
    struct Case { int blocksIntoHop, blockSize, inputLatency; juce::uint64 framesToWait; };
    for (const auto& c : { Case { 13, 512, 0, 3 }, Case { 15, 512, 0, 4 }, Case { 0, 512, 7168, 3 }, Case { 0, 512, 7169, 4 },
                           Case { 0, 441, 20000, 5 } })
    {
        SCOPED_TRACE (juce::String (c.blocksIntoHop) + " blocks, latency " + juce::String (c.inputLatency));
        device.open (1, {}, 48000.0, 512);
        device.inputLatency = c.inputLatency;
        input->audioDeviceAboutToStart (&device);
        feed (512, 32);   // two frames after the start, at the start of a hop
        feed (c.blockSize, c.blocksIntoHop);
        const auto frames = input->getNumFrames();
        const auto mark = input->markPitchChange();
        EXPECT_FALSE (input->hasSettledSince (mark, frames + 10)) << "settled before any block was heard";
        feed (c.blockSize, 1);
        EXPECT_FALSE (input->hasSettledSince (mark, frames + c.framesToWait - 1));
        EXPECT_TRUE (input->hasSettledSince (mark, frames + c.framesToWait));
    }

    // Settled, then the device restarts: its first two frames are not whole.
    const auto mark = input->markPitchChange();
    feed (512, 128);
    ASSERT_TRUE (input->hasSettledSince (mark, input->getNumFrames()));
    input->audioDeviceAboutToStart (&device);
    EXPECT_FALSE (input->hasSettledSince (mark, input->getNumFrames() + 1));
    EXPECT_TRUE (input->hasSettledSince (mark, input->getNumFrames() + 2));
}

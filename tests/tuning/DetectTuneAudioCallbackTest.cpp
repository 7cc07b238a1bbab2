#include "support/AllocationCounter.h"
#include "support/FakeInputDevice.h"
#include "support/ToneGenerator.h"
#include "tuning/DetectTuneAudioCallback.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace
{
// Plays a 100 Hz sine into a callback in blocks, as the device manager would,
// on `channels` identical inputs.
struct Player
{
    void play (DetectTuneAudioCallback& callback, int numBlocks, int channels = 1)
    {
        const std::vector<const float*> inputs ((size_t) channels, block.data());
        const AllocationCounter::ScopedCount count;
        while (numBlocks-- > 0)
        {
            tone.fill (block.data(), (int) block.size());
            callback.audioDeviceIOCallbackWithContext (inputs.data(), channels, nullptr, 0, (int) block.size(), {});
        }
        allocations += count.getCount();
    }

    std::vector<float> block;
    ToneGenerator tone { 100.0, 48000.0 };
    std::size_t allocations = 0; // by the callback
};
} // namespace

TEST (DetectTuneAudioCallbackTest, AnalysesTheOneInputChannelFromEachDeviceStartOnAndSilencesTheOutputs)
{
    DetectTuneAudioCallback callback;
    Player player { std::vector<float> (512) };
    player.play (callback, 64);
    EXPECT_EQ (callback.getFrequency(), 0.0f) << "before the device started";
    FakeInputDevice device;
    device.open (1, {}, 48000.0, 512);
    callback.audioDeviceAboutToStart (&device);
    player.play (callback, 64, 2);
    EXPECT_EQ (callback.getFrequency(), 0.0f) << "two active input channels";
    player.play (callback, 15);
    EXPECT_EQ (callback.getFrequency(), 0.0f) << "until the first frame is in";
    player.play (callback, 17);
    EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);

    // A restart, here at a new sample rate, begins a whole new frame.
    device.open (1, {}, 44100.0, 512);
    callback.audioDeviceAboutToStart (&device);
    EXPECT_EQ (callback.getFrequency(), 0.0f);
    player.tone = ToneGenerator (100.0, 44100.0);
    player.play (callback, 15);
    EXPECT_EQ (callback.getFrequency(), 0.0f);
    player.play (callback, 17);
    EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);

    std::vector<float> left (256, 1.0f), right (256, -1.0f);
    const float* inputs[] = { player.block.data() };
    float* outputs[] = { left.data(), nullptr, right.data() };
    callback.audioDeviceIOCallbackWithContext (inputs, 1, outputs, 3, 256, {});
    EXPECT_EQ (left, std::vector<float> (256, 0.0f));
    EXPECT_EQ (right, left);
}

TEST (DetectTuneAudioCallbackTest, AudioCallbackAllocatesNothingAndItsEstimateIsReadWhileItRuns)
{
    for (const size_t blockSize : { 512, 441, 20000 })
    {
        DetectTuneAudioCallback callback;
        FakeInputDevice device;
        device.open (1, {}, 48000.0, 512);
        callback.audioDeviceAboutToStart (&device);
        Player player { std::vector<float> (blockSize) };
        std::atomic<bool> done { false };
        std::thread audioThread ([&] { player.play (callback, 12 * 8192 / (int) blockSize + 1), done = true; }); // a dozen frames
        // Whatever the reader sees is a whole estimate: 0, or near 100 Hz.
        for (float f = 0.0f; ! done; f = callback.getFrequency())
            EXPECT_TRUE (f == 0.0f || std::abs (f - 100.0f) < 3.0f) << f;
        audioThread.join();
        EXPECT_EQ (player.allocations, 0u) << "blocks of " << blockSize;
        EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);
    }
}

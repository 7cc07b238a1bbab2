#include "AllocationCounter.h"
#include "FakeAudioIODevice.h"
#include "tuning/DetectTuneAudioCallback.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <thread>

namespace
{
// Plays a 100 Hz sine into the callback in blocks, as the device manager
// would, on `channels` identical inputs; counts the allocations meanwhile.
void play (DetectTuneAudioCallback& callback, int numBlocks, double rate = 48000.0, int channels = 1, int blockSize = 512, std::size_t* allocations = nullptr)
{
    static juce::int64 position = 0;
    std::vector<float> block ((size_t) blockSize);
    const std::vector<const float*> inputs ((size_t) channels, block.data());
    std::optional<AllocationCounter::ScopedCount> count;
    if (allocations != nullptr)
        count.emplace();
    while (numBlocks-- > 0)
    {
        for (auto& sample : block)
            sample = (float) (0.5 * std::sin (2.0 * juce::MathConstants<double>::pi * 100.0 * (double) position++ / rate));
        callback.audioDeviceIOCallbackWithContext (inputs.data(), channels, nullptr, 0, blockSize, {});
    }
    if (allocations != nullptr)
        *allocations = count->getCount();
}
} // namespace

TEST (DetectTuneAudioCallbackTest, AnalysesTheOneInputChannelFromEachDeviceStartOnAndSilencesTheOutputs)
{
    DetectTuneAudioCallback callback;
    play (callback, 64);
    EXPECT_EQ (callback.getFrequency(), 0.0f) << "before the device started";
    FakeAudioIODevice device (48000.0);
    callback.audioDeviceAboutToStart (&device);
    play (callback, 64, 48000.0, 2);
    EXPECT_EQ (callback.getFrequency(), 0.0f) << "two active input channels";
    play (callback, 15);
    EXPECT_EQ (callback.getFrequency(), 0.0f) << "until the first frame is in";
    play (callback, 17);
    EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);

    // A restart, here at a new sample rate, begins a whole new frame.
    device.sampleRate = 44100.0;
    callback.audioDeviceAboutToStart (&device);
    EXPECT_EQ (callback.getFrequency(), 0.0f);
    play (callback, 15, 44100.0);
    EXPECT_EQ (callback.getFrequency(), 0.0f);
    play (callback, 17, 44100.0);
    EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);

    std::vector<float> input (256, 0.5f), left (256, 1.0f), right (256, -1.0f);
    const float* inputs[] = { input.data() };
    float* outputs[] = { left.data(), nullptr, right.data() };
    callback.audioDeviceIOCallbackWithContext (inputs, 1, outputs, 3, 256, {});
    EXPECT_EQ (left, std::vector<float> (256, 0.0f));
    EXPECT_EQ (right, left);
}

TEST (DetectTuneAudioCallbackTest, AudioCallbackAllocatesNothingAndItsEstimateIsReadWhileItRuns)
{
    {
        const AllocationCounter::ScopedCount count; // the counter counts
        std::vector<float>* volatile p = new std::vector<float> (10);
        delete p;
        EXPECT_EQ (count.getCount(), 2u);
    }
    for (const int blockSize : { 512, 441, 20000 })
    {
        DetectTuneAudioCallback callback;
        FakeAudioIODevice device (48000.0);
        callback.audioDeviceAboutToStart (&device);
        std::atomic<bool> done { false };
        std::size_t allocations = 1;
        std::thread audioThread ([&] { play (callback, 12 * 8192 / blockSize + 1, 48000.0, 1, blockSize, &allocations), done = true; });
        // Whatever the reader sees is a whole estimate: 0, or near 100 Hz.
        for (float f = 0.0f; ! done; f = callback.getFrequency())
            EXPECT_TRUE (f == 0.0f || std::abs (f - 100.0f) < 3.0f) << f;
        audioThread.join();
        EXPECT_EQ (allocations, 0u) << "blocks of " << blockSize;
        EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);
    }
}

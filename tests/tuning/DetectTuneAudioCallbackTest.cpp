#include "AllocationCounter.h"
#include "FakeAudioIODevice.h"
#include "tuning/DetectTuneAudioCallback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <optional>
#include <thread>

namespace
{
// Plays a sine of `frequency` into the callback in blocks, as the device
// manager would, on `channels` identical input channels; counts the
// allocations made meanwhile into `allocations`.
void play (DetectTuneAudioCallback& callback, int numBlocks, double frequency = 100.0, double rate = 48000.0, int blockSize = 512,
           int channels = 1, std::size_t* allocations = nullptr)
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
            sample = (float) (0.5 * std::sin (2.0 * juce::MathConstants<double>::pi * frequency * (double) position++ / rate));
        callback.audioDeviceIOCallbackWithContext (inputs.data(), channels, nullptr, 0, blockSize, {});
    }
    if (allocations != nullptr)
        *allocations = count->getCount();
}
} // namespace

TEST (DetectTuneAudioCallbackTest, AnalysesTheOneInputChannelFromEachDeviceStartOn)
{
    DetectTuneAudioCallback callback;
    play (callback, 64);
    EXPECT_EQ (callback.getFrequency(), 0.0f) << "before the device started";

    FakeAudioIODevice device (48000.0);
    callback.audioDeviceAboutToStart (&device);
    play (callback, 64, 100.0, 48000.0, 512, 2);
    EXPECT_EQ (callback.getFrequency(), 0.0f) << "two active input channels";
    play (callback, 15);
    EXPECT_EQ (callback.getFrequency(), 0.0f) << "until the first frame is in";
    play (callback, 1);
    EXPECT_NEAR (callback.getFrequency(), 100.0f, 48000.0f / 16384.0f);
    play (callback, 16);
    EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);
    play (callback, 64, 200.0, 48000.0, 512, 2);
    EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f) << "two channels keep the last estimate";

    // A restart, here at a new sample rate, begins a whole new frame.
    device.sampleRate = 44100.0;
    callback.audioDeviceAboutToStart (&device);
    EXPECT_EQ (callback.getFrequency(), 0.0f);
    play (callback, 15, 100.0, 44100.0);
    EXPECT_EQ (callback.getFrequency(), 0.0f);
    play (callback, 17, 100.0, 44100.0);
    EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);

    // Every output channel is silenced.
    std::vector<float> input (256, 0.5f), left (256, 1.0f), right (256, -1.0f);
    const float* inputs[] = { input.data() };
    float* outputs[] = { left.data(), nullptr, right.data() };
    callback.audioDeviceIOCallbackWithContext (inputs, 1, outputs, 3, 256, {});
    EXPECT_EQ (left, std::vector<float> (256, 0.0f));
    EXPECT_EQ (right, std::vector<float> (256, 0.0f));
}

TEST (DetectTuneAudioCallbackTest, AudioCallbackAllocatesNothingAndTheEstimateIsReadWhileItRuns)
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
        std::thread audioThread ([&] {
            play (callback, 12 * 8192 / blockSize + 1, 100.0, 48000.0, blockSize, 1, &allocations); // a dozen frames
            done = true;
        });
        // Whatever the reader sees is a whole estimate: 0, or near 100 Hz.
        while (! done)
        {
            const auto f = callback.getFrequency();
            EXPECT_TRUE (f == 0.0f || std::abs (f - 100.0f) < 3.0f) << f;
        }
        audioThread.join();
        EXPECT_EQ (allocations, 0u) << "blocks of " << blockSize;
        EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);
    }
}

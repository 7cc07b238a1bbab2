#include "AllocationCounter.h"
#include "FakeAudioIODevice.h"
#include "tuning/DetectTuneAudioCallback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace
{
// Plays a sine into a DetectTuneAudioCallback block by block, as the device
// manager would, on one or more identical input channels.
class SinePlayer
{
public:
    SinePlayer (DetectTuneAudioCallback& cb, double freq, double rate, int blockSize, int numChannels = 1)
        : callback (cb), frequency (freq), sampleRate (rate), block ((size_t) blockSize),
          channels ((size_t) numChannels, block.data())
    {
    }

    void play (int numCallbacks)
    {
        for (int i = 0; i < numCallbacks; ++i)
        {
            for (auto& sample : block)
                sample = (float) (0.5 * std::sin (2.0 * juce::MathConstants<double>::pi * frequency * (double) position++ / sampleRate));
            callback.audioDeviceIOCallbackWithContext (channels.data(), (int) channels.size(), nullptr, 0,
                                                       (int) block.size(), {});
        }
    }

    DetectTuneAudioCallback& callback;
    double frequency;
    double sampleRate;
    juce::int64 position = 0;
    std::vector<float> block;
    std::vector<const float*> channels;
};
} // namespace

TEST (DetectTuneAudioCallbackTest, ReportsZeroUntilTheFirstFrameIsAnalysed)
{
    DetectTuneAudioCallback::Ptr callback (new DetectTuneAudioCallback());
    EXPECT_EQ (callback->getFrequency(), 0.0f);

    FakeAudioIODevice device (48000.0);
    callback->audioDeviceAboutToStart (&device);
    SinePlayer player (*callback, 100.0, 48000.0, 512);
    player.play (15);
    EXPECT_EQ (callback->getFrequency(), 0.0f);
    player.play (1);
    EXPECT_NEAR (callback->getFrequency(), 100.0f, 48000.0f / 16384.0f);
    player.play (16);
    EXPECT_NEAR (callback->getFrequency(), 100.0f, 0.05f);
}

TEST (DetectTuneAudioCallbackTest, AnalysesNothingBeforeTheDeviceStarts)
{
    DetectTuneAudioCallback callback;
    SinePlayer player (callback, 100.0, 48000.0, 512);
    player.play (64);
    EXPECT_EQ (callback.getFrequency(), 0.0f);
}

TEST (DetectTuneAudioCallbackTest, TwoActiveInputChannelsAnalyseNothing)
{
    DetectTuneAudioCallback callback;
    FakeAudioIODevice device (48000.0);
    callback.audioDeviceAboutToStart (&device);

    SinePlayer stereo (callback, 100.0, 48000.0, 512, 2);
    stereo.play (64);
    EXPECT_EQ (callback.getFrequency(), 0.0f);

    // With one channel again the analysis goes on; two keep the last estimate.
    SinePlayer mono (callback, 100.0, 48000.0, 512);
    mono.play (64);
    const auto estimate = callback.getFrequency();
    EXPECT_NEAR (estimate, 100.0f, 0.05f);
    SinePlayer stereoAt200 (callback, 200.0, 48000.0, 512, 2);
    stereoAt200.play (64);
    EXPECT_EQ (callback.getFrequency(), estimate);
}

TEST (DetectTuneAudioCallbackTest, DeviceRestartResetsTheEstimateAndTheFrame)
{
    DetectTuneAudioCallback callback;
    FakeAudioIODevice device (48000.0);
    callback.audioDeviceAboutToStart (&device);
    SinePlayer player (callback, 100.0, 48000.0, 512);
    player.play (40);
    ASSERT_NEAR (callback.getFrequency(), 100.0f, 0.05f);

    // A new sample rate: the estimate is 0 until a whole new frame is in.
    device.sampleRate = 44100.0;
    callback.audioDeviceAboutToStart (&device);
    EXPECT_EQ (callback.getFrequency(), 0.0f);
    SinePlayer at44k (callback, 100.0, 44100.0, 512);
    at44k.play (15);
    EXPECT_EQ (callback.getFrequency(), 0.0f);
    at44k.play (17);
    EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);
}

TEST (DetectTuneAudioCallbackTest, EstimateIsReadWhileTheAudioThreadWrites)
{
    DetectTuneAudioCallback callback;
    FakeAudioIODevice device (48000.0);
    callback.audioDeviceAboutToStart (&device);

    std::atomic<bool> done { false };
    std::thread audioThread ([&]
    {
        SinePlayer player (callback, 100.0, 48000.0, 512);
        player.play (160);
        done = true;
    });

    // Whatever the reader sees is a whole estimate: 0, or near 100 Hz.
    while (! done)
    {
        const auto f = callback.getFrequency();
        EXPECT_TRUE (f == 0.0f || std::abs (f - 100.0f) < 3.0f) << f;
    }
    audioThread.join();
    EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);
}

TEST (DetectTuneAudioCallbackTest, SilencesEveryOutputChannel)
{
    DetectTuneAudioCallback callback;
    FakeAudioIODevice device (48000.0);
    callback.audioDeviceAboutToStart (&device);

    std::vector<float> input (256, 0.5f), left (256, 1.0f), right (256, -1.0f);
    const float* inputs[] = { input.data() };
    float* outputs[] = { left.data(), nullptr, right.data() };
    callback.audioDeviceIOCallbackWithContext (inputs, 1, outputs, 3, 256, {});

    EXPECT_EQ (std::count (left.begin(), left.end(), 0.0f), 256);
    EXPECT_EQ (std::count (right.begin(), right.end(), 0.0f), 256);
}

TEST (DetectTuneAudioCallbackTest, AudioCallbackAllocatesNothing)
{
    for (const int blockSize : { 512, 441, 20000 })
    {
        DetectTuneAudioCallback callback;
        FakeAudioIODevice device (48000.0);
        callback.audioDeviceAboutToStart (&device);

        SinePlayer player (callback, 100.0, 48000.0, blockSize);
        const AllocationCounter::ScopedCount count;
        player.play (12 * 8192 / blockSize + 1); // a dozen frames
        EXPECT_EQ (count.getCount(), 0u) << "blocks of " << blockSize;
        EXPECT_NEAR (callback.getFrequency(), 100.0f, 0.05f);
    }
}

TEST (DetectTuneAudioCallbackTest, AllocationCounterSeesAllocations)
{
    // Guards the test above against a counter that never counts.
    const AllocationCounter::ScopedCount count;
    std::vector<float>* volatile p = new std::vector<float> (10);
    delete p;
    EXPECT_EQ (count.getCount(), 2u);
}

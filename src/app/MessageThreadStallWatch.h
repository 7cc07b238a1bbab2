#pragma once

#include <juce_events/juce_events.h>

#include <atomic>
#include <thread>

// For end-to-end tests: a 15 ms timer on the message thread that remembers
// the largest gap between two of its callbacks, which is how long the
// message thread was held up at most, and writes it to a file when it goes.
// The application starts one only when KESTRUNE_STALL_REPORT names that file.
//
// Each long gap is listed with its end, in local time and in ms since the
// epoch. On Linux each long gap also says how much of it the thread ran and how
// much it waited for a core, and a sampler thread notes what the message
// thread was blocked in while a gap lasted (its system call and arguments),
// so that a failing check can be traced.
class MessageThreadStallWatch : private juce::Timer
{
public:
    static constexpr int intervalMs = 15;
    // Gaps above this are listed with the time they ended.
    static constexpr double longGapMs = 50.0;

    explicit MessageThreadStallWatch (juce::File reportFile);
    ~MessageThreadStallWatch() override;

    // From the environment variable, or null when it is not set.
    static std::unique_ptr<MessageThreadStallWatch> fromEnvironment();

    double getLargestGapMs() const { return largestGapMs; }

private:
    struct ThreadTimes
    {
        double runningMs = 0.0, waitingForCpuMs = 0.0;
    };
    ThreadTimes readThreadTimes() const;
    juce::String describeMessageThread() const;
    static juce::String describeThread (int threadId);
    void timerCallback() override;
    void sampleWhileHeldUp();
    void writeReport() const;

    const juce::File reportFile;
    // The kernel's thread id of the message thread, or 0 where not known.
    const int messageThreadId;
    ThreadTimes lastTimes;
    std::atomic<double> lastCallbackMs { 0.0 };
    double largestGapMs = 0.0, largestShortGapMs = 0.0;
    int callbacks = 0;
    juce::StringArray longGaps;

    std::atomic<bool> stopSampling { false };
    // Written by the sampler only, read once it has been joined.
    juce::StringArray heldUpSamples;
    std::thread sampler;
};

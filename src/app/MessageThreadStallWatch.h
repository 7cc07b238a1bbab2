#pragma once

#include <juce_events/juce_events.h>

// For end-to-end tests: a 15 ms timer on the message thread that remembers
// the largest gap between two of its callbacks, which is how long the
// message thread was held up at most, and writes it to a file when it goes.
// The application starts one only when KESTRUNE_STALL_REPORT names that file.
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
    void timerCallback() override;
    void writeReport() const;

    // What the thread did between two callbacks, from the kernel's counts
    // (Linux only; zero elsewhere): run on a core, or wait for one.
    struct ThreadTimes
    {
        double runningMs = 0.0, waitingForCpuMs = 0.0;
    };
    static ThreadTimes readThreadTimes();

    const juce::File reportFile;
    ThreadTimes lastTimes;
    double lastCallbackMs = 0.0;
    double largestGapMs = 0.0;
    int callbacks = 0;
    juce::StringArray longGaps;
};

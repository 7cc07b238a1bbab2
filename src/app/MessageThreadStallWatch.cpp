#include "MessageThreadStallWatch.h"

MessageThreadStallWatch::MessageThreadStallWatch (juce::File file) : reportFile (std::move (file))
{
    lastCallbackMs = juce::Time::getMillisecondCounterHiRes();
    startTimer (intervalMs);
}

MessageThreadStallWatch::~MessageThreadStallWatch()
{
    stopTimer();
    writeReport();
}

std::unique_ptr<MessageThreadStallWatch> MessageThreadStallWatch::fromEnvironment()
{
    const auto path = juce::SystemStats::getEnvironmentVariable ("KESTRUNE_STALL_REPORT", {});
    if (path.isEmpty() || ! juce::File::isAbsolutePath (path))
        return nullptr;
    return std::make_unique<MessageThreadStallWatch> (juce::File (path));
}

void MessageThreadStallWatch::timerCallback()
{
    const auto now = juce::Time::getMillisecondCounterHiRes();
    largestGapMs = juce::jmax (largestGapMs, now - lastCallbackMs);
    lastCallbackMs = now;
    // Now and then, so that a test can read it while the utility runs.
    if (++callbacks % 64 == 0)
        writeReport();
}

void MessageThreadStallWatch::writeReport() const
{
    reportFile.replaceWithText ("largest-gap-ms " + juce::String (largestGapMs, 1) + "\ncallbacks "
                                + juce::String (callbacks) + "\n");
}

#include "MessageThreadStallWatch.h"

MessageThreadStallWatch::MessageThreadStallWatch (juce::File file) : reportFile (std::move (file))
{
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
    // Gaps count from the first callback: start-up is not a stall.
    if (callbacks > 0)
    {
        const auto gap = now - lastCallbackMs;
        largestGapMs = juce::jmax (largestGapMs, gap);
        // When, so that a test can tell what the thread was doing.
        if (gap > longGapMs && longGaps.size() < 100)
        {
            const auto time = juce::Time::getCurrentTime();
            longGaps.add (time.formatted ("%H:%M:%S.") + juce::String (time.getMilliseconds()).paddedLeft ('0', 3) + " "
                          + juce::String (gap, 1));
        }
    }
    lastCallbackMs = now;
    // The report is written once, at the end: a file written from this
    // thread while it runs would itself hold the thread up.
    ++callbacks;
}

void MessageThreadStallWatch::writeReport() const
{
    auto text = "largest-gap-ms " + juce::String (largestGapMs, 1) + "\ncallbacks " + juce::String (callbacks) + "\n";
    for (const auto& gap : longGaps)
        text << "gap-ended-at " << gap << "\n";
    reportFile.replaceWithText (text);
}

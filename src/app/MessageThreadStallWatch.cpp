#include "MessageThreadStallWatch.h"

#if JUCE_LINUX
 #include <fcntl.h>
 #include <unistd.h>
#endif

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

MessageThreadStallWatch::ThreadTimes MessageThreadStallWatch::readThreadTimes()
{
    ThreadTimes times;
   #if JUCE_LINUX
    // "<ns on a core> <ns runnable but waiting> <timeslices>"
    const int fd = ::open ("/proc/thread-self/schedstat", O_RDONLY);
    if (fd < 0)
        return times;
    char text[96] = {};
    const auto got = ::read (fd, text, sizeof (text) - 1);
    ::close (fd);
    if (got > 0)
    {
        char* end = nullptr;
        times.runningMs = (double) std::strtoull (text, &end, 10) / 1.0e6;
        times.waitingForCpuMs = (double) std::strtoull (end, nullptr, 10) / 1.0e6;
    }
   #endif
    return times;
}

void MessageThreadStallWatch::timerCallback()
{
    const auto now = juce::Time::getMillisecondCounterHiRes();
    const auto times = readThreadTimes();
    // Gaps count from the first callback: start-up is not a stall.
    if (callbacks > 0)
    {
        const auto gap = now - lastCallbackMs;
        largestGapMs = juce::jmax (largestGapMs, gap);
        // When, so that a test can tell what the thread was doing.
        if (gap > longGapMs && longGaps.size() < 100)
        {
            const auto time = juce::Time::getCurrentTime();
            // A gap the thread spent neither running nor waiting for a core
            // was spent blocked: on the X server, a lock, or a late timer.
            const auto ran = times.runningMs - lastTimes.runningMs;
            const auto queued = times.waitingForCpuMs - lastTimes.waitingForCpuMs;
            longGaps.add (time.formatted ("%H:%M:%S.") + juce::String (time.getMilliseconds()).paddedLeft ('0', 3) + " "
                          + juce::String (gap, 1) + " ran " + juce::String (ran, 1) + " queued " + juce::String (queued, 1));
        }
    }
    lastCallbackMs = now;
    lastTimes = times;
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

#include "MessageThreadStallWatch.h"

#if JUCE_LINUX
 #include <fcntl.h>
 #include <sys/syscall.h>
 #include <unistd.h>
#endif

namespace
{
juce::String timeOfDay()
{
    const auto time = juce::Time::getCurrentTime();
    return time.formatted ("%H:%M:%S.") + juce::String (time.getMilliseconds()).paddedLeft ('0', 3);
}

// A small file of /proc.
juce::String readProcFile (const char* path)
{
    juce::String text;
   #if JUCE_LINUX
    const int fd = ::open (path, O_RDONLY);
    if (fd < 0)
        return text;
    char buffer[256] = {};
    const auto got = ::read (fd, buffer, sizeof (buffer) - 1);
    ::close (fd);
    if (got > 0)
        text = juce::String (buffer).trim();
   #else
    juce::ignoreUnused (path);
   #endif
    return text;
}

// What a descriptor is open on ("socket:[1234]", a path), to tell which
// peer a blocked read or write waits for.
juce::String describeDescriptor (const juce::String& hexDescriptor)
{
    juce::String text;
   #if JUCE_LINUX
    char target[256] = {};
    const auto path = "/proc/self/fd/" + juce::String (hexDescriptor.getHexValue32());
    if (::readlink (path.toRawUTF8(), target, sizeof (target) - 1) > 0)
        text = target;
   #else
    juce::ignoreUnused (hexDescriptor);
   #endif
    return text;
}

int currentThreadId()
{
   #if JUCE_LINUX
    return (int) ::syscall (SYS_gettid);
   #else
    return 0;
   #endif
}
} // namespace

MessageThreadStallWatch::MessageThreadStallWatch (juce::File file)
    : reportFile (std::move (file)), messageThreadId (currentThreadId())
{
    startTimer (intervalMs);
    if (messageThreadId != 0)
        sampler = std::thread ([this] { sampleWhileHeldUp(); });
}

MessageThreadStallWatch::~MessageThreadStallWatch()
{
    stopTimer();
    stopSampling = true;
    if (sampler.joinable())
        sampler.join();
    writeReport();
}

std::unique_ptr<MessageThreadStallWatch> MessageThreadStallWatch::fromEnvironment()
{
    const auto path = juce::SystemStats::getEnvironmentVariable ("KESTRUNE_STALL_REPORT", {});
    if (path.isEmpty() || ! juce::File::isAbsolutePath (path))
        return nullptr;
    return std::make_unique<MessageThreadStallWatch> (juce::File (path));
}

MessageThreadStallWatch::ThreadTimes MessageThreadStallWatch::readThreadTimes() const
{
    ThreadTimes times;
    // "<ns on a core> <ns runnable but waiting> <timeslices>"
    const auto fields = juce::StringArray::fromTokens (readProcFile ("/proc/thread-self/schedstat"), false);
    if (fields.size() >= 2)
    {
        times.runningMs = (double) fields[0].getLargeIntValue() / 1.0e6;
        times.waitingForCpuMs = (double) fields[1].getLargeIntValue() / 1.0e6;
    }
    return times;
}

// "<state> <system call number and its first arguments>": S and "7 <fds>
// 0x1 -1" is poll on one descriptor without end, which is how Xlib waits for
// the X server's reply; 202 is a futex (a lock); R is running or runnable.
juce::String MessageThreadStallWatch::describeMessageThread() const
{
    auto text = describeThread (messageThreadId);
    // The timer thread posts the timers' callbacks: a late one holds them up too.
    for (const auto& task : juce::File ("/proc/self/task").findChildFiles (juce::File::findDirectories, false))
        if (readProcFile ((task.getFullPathName() + "/comm").toRawUTF8()) == "JUCE Timer")
            text << "; timer thread " << describeThread (task.getFileName().getIntValue());
    return text;
}

juce::String MessageThreadStallWatch::describeThread (int threadId)
{
    const auto task = "/proc/self/task/" + juce::String (threadId);
    const auto stat = readProcFile ((task + "/stat").toRawUTF8());
    // The state follows the command's closing parenthesis.
    const auto state = stat.fromLastOccurrenceOf (")", false, false).trim().substring (0, 1);
    auto call = juce::StringArray::fromTokens (readProcFile ((task + "/syscall").toRawUTF8()), false);
    call.removeRange (4, call.size());
    // read and write: on what.
    const auto on = (call[0] == "0" || call[0] == "1") && call.size() > 1 ? " (" + describeDescriptor (call[1]) + ")" : juce::String();
    return state + " " + call.joinIntoString (" ") + on;
}

void MessageThreadStallWatch::sampleWhileHeldUp()
{
    juce::String lastSeen;
    while (! stopSampling)
    {
        std::this_thread::sleep_for (std::chrono::milliseconds (10));
        const auto heldMs = juce::Time::getMillisecondCounterHiRes() - lastCallbackMs.load();
        if (lastCallbackMs.load() <= 0.0 || heldMs < longGapMs || heldUpSamples.size() >= 400)
        {
            lastSeen.clear();
            continue;
        }
        // Each change of what the thread is in, once per gap.
        const auto seen = describeMessageThread();
        if (seen != lastSeen)
            heldUpSamples.add (timeOfDay() + " held " + juce::String (heldMs, 0) + " ms: " + seen);
        lastSeen = seen;
    }
}

void MessageThreadStallWatch::timerCallback()
{
    const auto now = juce::Time::getMillisecondCounterHiRes();
    const auto times = readThreadTimes();
    // Gaps count from the first callback: start-up is not a stall.
    if (callbacks > 0)
    {
        const auto gap = now - lastCallbackMs.load();
        largestGapMs = juce::jmax (largestGapMs, gap);
        // When, so that a test can tell what the thread was doing. A gap the
        // thread spent neither running nor waiting for a core was spent
        // blocked: on the X server, a lock, or a late timer thread.
        if (gap <= longGapMs)
            largestShortGapMs = juce::jmax (largestShortGapMs, gap);
        else if (longGaps.size() < 100)
            longGaps.add (timeOfDay() + " " + juce::String (gap, 1) + " ran " + juce::String (times.runningMs - lastTimes.runningMs, 1)
                          + " queued " + juce::String (times.waitingForCpuMs - lastTimes.waitingForCpuMs, 1)
                          + " epoch-ms " + juce::String (juce::Time::currentTimeMillis()));
    }
    lastCallbackMs = now;
    lastTimes = times;
    // The report is written once, at the end: a file written from this
    // thread while it runs would itself hold the thread up.
    ++callbacks;
}

void MessageThreadStallWatch::writeReport() const
{
    auto text = "largest-gap-ms " + juce::String (largestGapMs, 1) + "\nlargest-unlisted-gap-ms " + juce::String (largestShortGapMs, 1)
                + "\ncallbacks " + juce::String (callbacks) + "\n";
    for (const auto& gap : longGaps)
        text << "gap-ended-at " << gap << "\n";
    for (const auto& sample : heldUpSamples)
        text << "held-up " << sample << "\n";
    reportFile.replaceWithText (text);
}

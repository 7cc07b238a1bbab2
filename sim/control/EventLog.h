#pragma once

#include "core/MillisecondClock.h"

#include <cstdio>
#include <mutex>

// kestrune-sim's log: one event a line, "<ms since start> <event>", handed to
// the operating system at once (flushed, not synced to disk: a firmware
// transfer logs 1,768 lines in 18 s) so that tests can follow it live.
class EventLog
{
public:
    // An empty path logs to standard output. An existing file is appended to.
    explicit EventLog (const juce::String& path, MillisecondClock& clock = MillisecondClock::system());
    ~EventLog();

    bool isOpen() const { return file != nullptr; }

    void write (const juce::String& event);

    static juce::String formatLine (juce::uint32 ms, const juce::String& event);

private:
    MillisecondClock& clock;
    const juce::uint32 startMs;
    std::mutex mutex;
    std::FILE* file = nullptr;
    bool ownsFile = false;

    JUCE_DECLARE_NON_COPYABLE (EventLog)
};

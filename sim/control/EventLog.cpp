#include "EventLog.h"

EventLog::EventLog (const juce::String& path, MillisecondClock& clockToUse)
    : clock (clockToUse), startMs (clockToUse.getMillisecondCounter())
{
    if (path.isEmpty())
    {
        file = stdout;
        return;
    }
    file = std::fopen (juce::File::getCurrentWorkingDirectory().getChildFile (path).getFullPathName().toRawUTF8(), "a");
    ownsFile = file != nullptr;
}

EventLog::~EventLog()
{
    if (ownsFile)
        std::fclose (file);
}

juce::String EventLog::formatLine (juce::uint32 ms, const juce::String& event)
{
    return juce::String (ms) + " " + event + "\n";
}

void EventLog::write (const juce::String& event)
{
    const auto line = formatLine (clock.getMillisecondCounter() - startMs, event);
    std::lock_guard<std::mutex> g (mutex);
    if (file == nullptr)
        return;
    std::fputs (line.toRawUTF8(), file);
    std::fflush (file);
}

#include "CalibrationReport.h"

#include <locale>
#include <sstream>

namespace
{
bool appendPiece (const juce::File& file, const juce::String& text)
{
    // Unbuffered, so that a failed write is seen here and not lost in the
    // stream's destructor; raw bytes, because File::appendText rewrites line ends.
    juce::FileOutputStream out (file, 0);
    return out.openedOk() && out.write (text.toRawUTF8(), text.getNumBytesAsUTF8());
}
} // namespace

juce::String CalibrationReport::headerLine (const juce::Time& time)
{
    return "Tuning Results: " + juce::Time::getWeekdayName (time.getDayOfWeek(), false) + " "
           + juce::Time::getMonthName (time.getMonth(), false) + " " + juce::String (time.getDayOfMonth()) + " "
           + juce::String (time.getYear()) + " At " + juce::String (time.getHours()) + ":"
           + juce::String (time.getMinutes()) + ":" + juce::String (time.getSeconds());
}

juce::String CalibrationReport::formatFrequency (float hz)
{
    std::ostringstream stream;
    stream.imbue (std::locale::classic());
    stream << static_cast<double> (hz);
    return juce::String (stream.str());
}

juce::String CalibrationReport::row (int note, const TuningResult& result)
{
    return "Midi Note: " + juce::String (note) + "\tValue: " + juce::String ((unsigned int) result.value)
           + "\tNew Frequency: " + formatFrequency (result.frequency);
}

bool CalibrationReport::append (const juce::File& file, const TuningResult* results, int numResults, const juce::Time& time)
{
    if (! file.hasWriteAccess() || file.isDirectory())
        return false;

    const juce::String lineEnd ("\r\n");
    bool complete = appendPiece (file, headerLine (time));
    complete = appendPiece (file, lineEnd) && complete;
    for (int note = firstNote; note < numResults; ++note)
    {
        complete = appendPiece (file, row (note, results[note])) && complete;
        complete = appendPiece (file, lineEnd) && complete;
    }
    complete = appendPiece (file, lineEnd) && complete;
    return complete;
}

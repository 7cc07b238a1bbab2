#include "CalibrationReportReader.h"

namespace
{
const juce::String headerPrefix { "Tuning Results: " };
const juce::String notePrefix { "Midi Note: " };
const juce::String valuePrefix { "Value: " };
const juce::String frequencyPrefix { "New Frequency: " };

CalibrationReportReader::Result refuse (const juce::String& why)
{
    CalibrationReportReader::Result result;
    result.error = why;
    return result;
}

// A whole non-negative decimal number of at most six digits, else -1.
int wholeNumber (const juce::String& text)
{
    if (text.isEmpty() || text.length() > 6 || ! text.containsOnly ("0123456789"))
        return -1;
    return text.getIntValue();
}
} // namespace

CalibrationReportReader::Result CalibrationReportReader::read (const juce::File& file)
{
    if (! file.existsAsFile())
        return refuse ("The file " + file.getFullPathName() + " does not exist.");
    juce::MemoryBlock bytes;
    if (! file.loadFileAsData (bytes))
        return refuse ("The file " + file.getFullPathName() + " could not be read.");
    if (bytes.getSize() > 1024 * 1024)
        return refuse ("The file " + file.getFullPathName() + " is too large to be a calibration report.");
    return parse (bytes.toString());
}

CalibrationReportReader::Result CalibrationReportReader::parse (const juce::String& text)
{
    juce::StringArray lines;
    lines.addLines (text);   // CR LF, LF and CR alike

    int header = -1;
    for (int i = lines.size(); --i >= 0;)
    {
        if (lines[i].startsWith (headerPrefix))
        {
            header = i;
            break;
        }
    }
    if (header < 0)
        return refuse ("No calibration report was found in the file (a report begins with \"" + headerPrefix.trim()
                       + "\").");

    // The report's rows: up to its empty line or the end of the file.
    juce::StringArray rows;
    for (int i = header + 1; i < lines.size() && lines[i].isNotEmpty(); ++i)
        rows.add (lines[i]);
    if (rows.size() != numNotes)
        return refuse ("The last report in the file has " + juce::String (rows.size())
                       + " rows; a calibration has " + juce::String (numNotes) + ", for MIDI notes " + juce::String (firstNote)
                       + " to " + juce::String (DeviceMessages::lastCalibratedNote) + ".");

    Result result;
    result.header = lines[header];
    for (int i = 0; i < numNotes; ++i)
    {
        const auto fields = juce::StringArray::fromTokens (rows[i], "\t", {});
        const int expectedNote = firstNote + i;
        const auto where = "Row " + juce::String (i + 1) + " of the last report";
        if (fields.size() != 3 || ! fields[0].startsWith (notePrefix) || ! fields[1].startsWith (valuePrefix)
            || ! fields[2].startsWith (frequencyPrefix))
            return refuse (where + " is not a calibration row: \"" + rows[i].substring (0, 80) + "\".");

        const int note = wholeNumber (fields[0].substring (notePrefix.length()));
        if (note != expectedNote)
            return refuse (where + " is for MIDI note " + fields[0].substring (notePrefix.length()).substring (0, 12)
                           + " where note " + juce::String (expectedNote) + " was expected.");

        const int value = wholeNumber (fields[1].substring (valuePrefix.length()));
        if (value < 1 || value > 65534)
            return refuse ("The value for MIDI note " + juce::String (note) + ", \""
                           + fields[1].substring (valuePrefix.length()).substring (0, 12)
                           + "\", is not a whole number from 1 to 65534.");

        if (i > 0 && value >= result.values[(size_t) i - 1])
            return refuse ("The values must fall from note " + juce::String (firstNote) + " to note "
                           + juce::String (DeviceMessages::lastCalibratedNote) + ", but note " + juce::String (note) + " has "
                           + juce::String (value) + " after " + juce::String (result.values[(size_t) i - 1])
                           + " for note " + juce::String (note - 1) + ".");
        result.values[(size_t) i] = (juce::uint16) value;
    }
    result.ok = true;
    return result;
}

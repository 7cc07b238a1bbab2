#include "CalibrationReportReader.h"

#include "tuning/CalibrationTableRule.h"

#if JUCE_LINUX || JUCE_MAC
 #include <sys/stat.h>
#endif

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
    const auto name = file.getFullPathName();
    // Checked before a byte is read: a FIFO, a device or a huge file would
    // hold the message thread or fill the memory.
#if JUCE_LINUX || JUCE_MAC
    struct stat info {};
    if (::stat (name.toRawUTF8(), &info) != 0)
        return refuse ("The file " + name + " does not exist.");
    if (! S_ISREG (info.st_mode))
        return refuse (name + " is not a file of calibration reports (it is a folder, a device or a pipe).");
    const auto size = (juce::int64) info.st_size;
#else
    if (! file.existsAsFile())
        return refuse ("The file " + name + " does not exist.");
    const auto size = file.getSize();
#endif
    if (size > maxFileBytes)
        return refuse ("The file " + name + " is too large to be a file of calibration reports (over 1 MiB).");

    juce::FileInputStream in (file);
    juce::MemoryBlock bytes;
    if (! in.openedOk() || in.readIntoMemoryBlock (bytes, maxFileBytes + 1) > (size_t) maxFileBytes)
        return refuse ("The file " + name + " could not be read.");
    return parse (bytes.toString());
}

CalibrationReportReader::Result CalibrationReportReader::parse (const juce::String& text)
{
    // CR CR LF (a CR LF file whose line ends were converted once more), CR LF,
    // LF and CR each end one line.
    juce::StringArray lines;
    lines.addLines (text.replace ("\r\r\n", "\n"));

    // The last complete report; a report cut short after it does not hide it.
    Result last;
    bool any = false;
    for (int i = lines.size(); --i >= 0;)
    {
        if (! lines[i].startsWith (headerPrefix))
            continue;
        auto result = parseReport (lines, i);
        if (result.ok)
            return result;
        if (! any)
            last = result;
        any = true;
    }
    if (! any)
        return refuse ("No calibration report was found in the file (a report begins with \"" + headerPrefix.trim()
                       + "\").");
    return last;
}

CalibrationReportReader::Result CalibrationReportReader::parseReport (const juce::StringArray& lines, int header)
{
    // The report's rows: up to its empty line, the next report or the end of the file.
    juce::StringArray rows;
    for (int i = header + 1; i < lines.size() && lines[i].isNotEmpty() && ! lines[i].startsWith (headerPrefix); ++i)
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
        if (value < 0 || value > 65535)
            return refuse ("The value for MIDI note " + juce::String (note) + ", \""
                           + fields[1].substring (valuePrefix.length()).substring (0, 12)
                           + "\", is not a whole number from 1 to 65535.");
        result.values[(size_t) i] = (juce::uint16) value;
    }
    if (const auto problem = CalibrationTableRule::problemWith (result.values); problem.isNotEmpty())
        return refuse (problem);
    result.ok = true;
    return result;
}

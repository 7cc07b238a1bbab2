#pragma once

#include "midi/DeviceMessages.h"

#include <juce_core/juce_core.h>

#include <array>

// Reads a calibration back from a file of reports, as "Write Calibration to
// File" appends them: the last complete report in the file, a header line and
// one row "Midi Note: n<TAB>Value: v<TAB>New Frequency: f" for each note 24
// to 63, with CR LF, CR CR LF or LF line ends, whose values the utility
// would store (CalibrationTableRule). Anything else is refused with a reason
// the user can act on, since the values go to the machine and are stored.
// Only a regular file of at most 1 MiB is read.
class CalibrationReportReader
{
public:
    static constexpr int firstNote = DeviceMessages::firstCalibratedNote;
    static constexpr int numNotes = DeviceMessages::numCalibratedNotes;
    static constexpr juce::int64 maxFileBytes = 1024 * 1024;

    struct Result
    {
        bool ok = false;
        juce::String header;                       // the chosen report's header line
        std::array<juce::uint16, numNotes> values {}; // in note order from firstNote
        juce::String error;                        // why it was refused
    };

    static Result read (const juce::File& file);
    static Result parse (const juce::String& text);

private:
    static Result parseReport (const juce::StringArray& lines, int header);
};

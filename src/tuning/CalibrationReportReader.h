#pragma once

#include "midi/DeviceMessages.h"

#include <juce_core/juce_core.h>

#include <array>

// Reads a calibration back from a file of reports, as "Write Calibration to
// File" appends them: the last report in the file, a header line and one row
// "Midi Note: n<TAB>Value: v<TAB>New Frequency: f" for each note 24 to 63,
// with CR LF or LF line ends. Anything else is refused with a reason the
// user can act on, since the values go to the machine and are stored.
class CalibrationReportReader
{
public:
    static constexpr int firstNote = DeviceMessages::firstCalibratedNote;
    static constexpr int numNotes = DeviceMessages::numCalibratedNotes;

    struct Result
    {
        bool ok = false;
        juce::String header;                       // the chosen report's header line
        std::array<juce::uint16, numNotes> values {}; // in note order from firstNote
        juce::String error;                        // why it was refused
    };

    static Result read (const juce::File& file);
    static Result parse (const juce::String& text);
};

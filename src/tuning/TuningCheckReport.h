#pragma once

#include "tuning/TuningCheck.h"

#include <juce_core/juce_core.h>

// The result of a tuning check as CSV: a header line, then one row per
// note, every line ended by LF; numbers with '.' as the decimal point
// whatever the locale.
//   note,name,target_hz,measured_hz,cents
//   24,C0,32.7032,33.4654,39.87
class TuningCheckReport
{
public:
    static const char* header() { return "note,name,target_hz,measured_hz,cents"; }

    // The note's name as the main window shows it: C0 for note 24, D#3 for 63.
    static juce::String noteName (int note);
    static juce::String row (const TuningCheck::Row& row);
    static juce::String csv (const std::vector<TuningCheck::Row>& rows);

    // Replaces the file's content. False when it could not be written whole.
    static bool write (const juce::File& file, const std::vector<TuningCheck::Row>& rows);
};

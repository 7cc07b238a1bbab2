#pragma once

#include "midi/DeviceMessages.h"
#include "tuning/TuningResult.h"

#include <juce_core/juce_core.h>

// The plain-text report of a calibration: a dated header line, one row per
// note from 24 up, and an empty line, each ended by CR LF. Reports are
// appended, so several can share a file.
class CalibrationReport
{
public:
    static constexpr int firstNote = DeviceMessages::firstCalibratedNote;

    // "Tuning Results: Monday March 4 2024 At 8:9:5" in local time, no line end.
    static juce::String headerLine (const juce::Time& time);
    // "Midi Note: 24\tValue: 64821\tNew Frequency: 32.7032", no line end.
    static juce::String row (int note, const TuningResult& result);
    // Six significant digits, no trailing zeros: 32.7032, 103.826, 440.
    static juce::String formatFrequency (float hz);

    // Appends the report for results[firstNote] to results[numResults - 1].
    // False when nothing could be written (a directory, no write access) or
    // when any piece failed; a failed piece does not stop the others.
    static bool append (const juce::File& file, const TuningResult* results, int numResults, const juce::Time& time);
};

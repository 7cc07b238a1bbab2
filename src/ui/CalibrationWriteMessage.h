#pragma once

#include "tuning/TuneKestruneEngine.h"

// What the user reads when a calibration written to the machine could not be
// stored: which notes the machine did not confirm, or why nothing could be
// stored although it confirmed every value.
struct CalibrationWriteMessage
{
    static constexpr const char* notStoredTitle = "Calibration Not Stored";

    static juce::String describe (const TuneKestruneEngine::CalibrationWriteOutcome& outcome);
    // "C0 (24), F#1 (42)", as the main window names notes
    static juce::String noteList (const juce::Array<int>& notes);
};

#pragma once

#include "midi/DeviceMessages.h"

#include <juce_core/juce_core.h>

#include <array>

// What a whole calibration table must look like for the utility to store it
// or load it: a value for each note 24 to 63, none 0 (a note never read), and
// falling from note to note (a larger value sounds lower). 65535, the lowest
// pitch, is a value a run may accept for note 24.
struct CalibrationTableRule
{
    static constexpr int numNotes = DeviceMessages::lastCalibratedNote - DeviceMessages::firstCalibratedNote + 1;
    using Values = std::array<juce::uint16, numNotes>;   // notes 24 to 63

    // Empty when the table may be stored; otherwise why not, in the owner's words.
    static juce::String problemWith (const Values& values);
};

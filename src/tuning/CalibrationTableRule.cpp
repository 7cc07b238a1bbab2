#include "CalibrationTableRule.h"

juce::String CalibrationTableRule::problemWith (const Values& values)
{
    for (int i = 0; i < numNotes; ++i)
    {
        const int note = DeviceMessages::firstCalibratedNote + i;
        if (values[(size_t) i] == 0)
            return "The value for MIDI note " + juce::String (note) + " is 0, which no calibration holds.";
        if (i > 0 && values[(size_t) i] >= values[(size_t) i - 1])
            return "The values must fall from note 24 to note 63, but note " + juce::String (note) + " has "
                   + juce::String (values[(size_t) i]) + " after " + juce::String (values[(size_t) i - 1]) + " for note "
                   + juce::String (note - 1) + ".";
    }
    return {};
}

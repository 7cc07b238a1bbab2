#pragma once

#include "tuning/CalibrationTableRule.h"

#include <juce_core/juce_core.h>

// Every table the utility reads from the machine or stores on it, kept as one
// file each in the history folder, in the format Write Calibration to File
// writes, so that Load Calibration from File takes any of them back. Named
// "<date> <time> <what>.txt", so that a sorted listing is the timeline.
class CalibrationHistory
{
public:
    static constexpr const char* readBack = "read back";
    static constexpr const char* storedByUndo = "stored by Undo";
    static constexpr const char* storedDefault = "stored default";
    static constexpr const char* storedFromFile = "stored from file";
    // "stored after Sweep Tune"
    static juce::String storedAfter (const juce::String& algorithmName);

    explicit CalibrationHistory (juce::File folder);
    // The "history" folder in the user's data folder.
    static juce::File defaultFolder();
    const juce::File& getFolder() const { return folder; }

    // Writes the table as a new file; the file, or none when it could not be written.
    juce::File save (const CalibrationTableRule::Values& values, const juce::String& what,
                     const juce::Time& when = juce::Time::getCurrentTime());

private:
    juce::File folder;
};

#pragma once

#include <juce_core/juce_core.h>

// The folder that holds the files the utility keeps for the owner, such as
// the calibration journal. Linux follows the XDG base directories rather
// than JUCE's userApplicationDataDirectory, which there is ~/.config.
class UserDataFolder
{
public:
    // Linux: $XDG_DATA_HOME/kestrune-tuning-utility when XDG_DATA_HOME is an
    // absolute path, else ~/.local/share/kestrune-tuning-utility. Elsewhere:
    // "Kestrune Tuning Utility" in the user's application data folder.
    // The folder is not created.
    static juce::File get();
};

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The application's commands; the values are fixed.
class CommandIDs
{
public:
    enum : juce::CommandID
    {
        aboutCommand = 0x200090,
        preferencesCommand = 0x200310,
        updateFirmwareCommand = 0x200320,
        undoTuningCommand = 0x200330,
        writeCalibrationToFileCommand = 0x200340,
        restoreDefaultCalibrationCommand = 0x200350,
        loadCalibrationFromFileCommand = 0x200360,
        minimiseCommand = 0x200410,
        bringToFrontCommand = 0x200420,
        quitCommand = 0x200060,
        checkTuningCommand = 0x200370
    };
};

#pragma once

#include "FactoryCalibration.h"

// What the machine keeps across power cycles: the stored calibration table and,
// once an update has been accepted, the firmware version it installed.
struct MachineState
{
    FactoryCalibration::Table calibration = FactoryCalibration::values();

    // Empty until a firmware update has been accepted; then it overrides the
    // version the machine was started with.
    juce::String installedFirmwareVersion;

    static MachineState factory() { return {}; }

    juce::uint16 valueForNote (int note) const
    {
        return FactoryCalibration::isCalibratedNote (note) ? calibration[(size_t) (note - FactoryCalibration::firstNote)]
                                                           : (juce::uint16) 0;
    }

    bool operator== (const MachineState& other) const
    {
        return calibration == other.calibration && installedFirmwareVersion == other.installedFirmwareVersion;
    }
    bool operator!= (const MachineState& other) const { return ! operator== (other); }
};

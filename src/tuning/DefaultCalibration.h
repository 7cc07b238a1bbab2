#pragma once

#include "midi/DeviceMessages.h"

#include <juce_core/juce_core.h>

#include <array>

// The factory calibration for notes 24 to 63, in note order. A larger value
// gives a lower pitch, so the table falls strictly.
inline constexpr std::array<juce::uint16, DeviceMessages::numCalibratedNotes> defaultCalibration {
    64821, 64280, 63647, 62998, 62287, 61594, 60841, 60109, 59328, 58488,
    57653, 56780, 55821, 54897, 53874, 52840, 51711, 50569, 49404, 48115,
    46833, 45357, 44010, 42458, 40860, 39216, 37422, 35605, 33688, 31639,
    29482, 27292, 24780, 22319, 19747, 16821, 13842, 10730, 7394, 3865
};

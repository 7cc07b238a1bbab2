#pragma once

#include <juce_core/juce_core.h>

// What a tuning run found for one note: the calibration value it accepted and
// the estimate measured at that moment.
struct TuningResult
{
    juce::uint16 value = 0;
    float frequency = 0.0f;
};

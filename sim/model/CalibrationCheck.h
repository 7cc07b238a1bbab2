#pragma once

#include "MachineState.h"
#include "PitchCurve.h"

#include <vector>

// For a stored table, each note's sounding pitch on a given unit (seed) and
// knob setting against its target: how well a calibration came out.
class CalibrationCheck
{
public:
    struct Row
    {
        int note = 0;
        juce::uint16 value = 0;
        double frequency = 0.0, target = 0.0, cents = 0.0;
    };

    CalibrationCheck (const MachineState& state, const PitchCurve& curve, double knobSemitones);

    const std::vector<Row>& getRows() const { return rows; }
    double getLargestAbsoluteCents() const;
    int getWorstNote() const;

    // One line a note, then the summary line:
    //   note 24 value 64821 pitch 32.7032 target 32.7032 cents +0.00
    //   summary notes=40 max-abs-cents=0.00 worst-note=24
    juce::String format() const;

private:
    std::vector<Row> rows;
};

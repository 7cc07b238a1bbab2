#pragma once

#include "tuning/StepPacing.h"
#include "tuning/TuneKestruneEngine.h"

// "Fine Tune": starts every note from the value the machine holds for it (as
// read back at the start of the calibration) and corrects it until the pitch
// lies within 0.1 Hz of the target.
//
// After sending a note's start value it waits until the analysis has
// completed two frames made wholly of audio that followed the value: until
// then the estimate still describes the pitch before the jump (the frame in
// progress when the value went out mixes both pitches, and the device and
// the cable take their time to bring the new one). From then on it steps
// like Sweep Tune: every tick until the estimate first reaches or crosses the
// target, then once per new estimate; and it accepts a note only on an
// estimate made wholly after its last step.
class GuitarPlayerTuningAlgorithm : public TuneKestruneEngine::TuningAlgorithm
{
public:
    static constexpr double tolerance = 0.1;

    GuitarPlayerTuningAlgorithm (MidiManager::Ptr midiManager,
                                 TuneKestruneEngine& engine,
                                 const TuneKestruneEngine::CalibrationTable& deviceCalibration);
    ~GuitarPlayerTuningAlgorithm() override;

    void processFrequency (float hz) override;
    double getProgress() override;

    static int stepFor (int note, float difference);

private:
    void sendStartValue();

    const TuneKestruneEngine::CalibrationTable& deviceCalibration;
    juce::uint32 lastStep = 0;   // the start value counts as a step
    bool startHeard = false;
    StepPacing pacing;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GuitarPlayerTuningAlgorithm)
};

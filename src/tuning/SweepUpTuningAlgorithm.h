#pragma once

#include "tuning/StepPacing.h"
#include "tuning/TuneKestruneEngine.h"

// "Sweep Tune": starts note 24 from the lowest pitch and approaches every
// target from below, starting each next note from the value just accepted.
// Accepts a note within 0.2 Hz.
//
// The estimate is renewed every 8,192 samples but handed over every tick: it
// steps on every tick until the estimate first reaches or crosses the target,
// then once per new estimate (one that differs from the last it stepped on),
// as repeated steps on one estimate overshoot. It accepts a note only on an
// estimate made wholly after its last step: an earlier one may describe a
// value already left.
class SweepUpTuningAlgorithm : public TuneKestruneEngine::TuningAlgorithm
{
public:
    static constexpr double tolerance = 0.2;

    SweepUpTuningAlgorithm (MidiManager::Ptr midiManager, TuneKestruneEngine& engine);
    ~SweepUpTuningAlgorithm() override;

    void processFrequency (float hz) override;
    double getProgress() override;

    // The change of value for an estimate `difference` Hz above the target
    // of `note` (negative difference: below it). Positive lowers the pitch.
    static int stepFor (int note, float difference);

private:
    void step (juce::uint16 value);

    juce::uint32 lastStep = 0;
    StepPacing pacing;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SweepUpTuningAlgorithm)
};

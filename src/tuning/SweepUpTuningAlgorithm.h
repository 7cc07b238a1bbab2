#pragma once

#include "tuning/TuneKestruneEngine.h"

// "Sweep Tune": starts note 24 from the lowest pitch and approaches every
// target from below, starting each next note from the value just accepted.
// Accepts a note within 0.2 Hz.
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
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SweepUpTuningAlgorithm)
};

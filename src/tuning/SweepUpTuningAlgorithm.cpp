#include "SweepUpTuningAlgorithm.h"

#include <cmath>

SweepUpTuningAlgorithm::SweepUpTuningAlgorithm (MidiManager::Ptr manager, TuneKestruneEngine& owner)
    : TuningAlgorithm (std::move (manager), owner)
{
    currentNote = TuneKestruneEngine::firstNote;
    step (TuneKestruneEngine::lowestPitchValue);
    startNote();
}

SweepUpTuningAlgorithm::~SweepUpTuningAlgorithm() = default;

void SweepUpTuningAlgorithm::step (juce::uint16 value)
{
    sendValue (value);
    lastStep = markPitchChange();
}

int SweepUpTuningAlgorithm::stepFor (int note, float difference)
{
    // The thresholds act on the signed difference: a pitch below the target is
    // raised in the smallest steps however far off it is.
    if (note <= 26)
    {
        if (difference > 5.0f) return 50;
        if (difference > 1.0f) return 15;
        if (difference > 0.0f) return 3;
        return -3;
    }
    if (difference > 3.0f) return 100;
    if (difference > 2.0f) return 50;
    if (difference > 1.0f) return 20;
    if (difference > 0.0f) return 5;
    return -5;
}

void SweepUpTuningAlgorithm::processFrequency (float hz)
{
    if (currentNote > 65)
        return;

    const float difference = hz - targetFrequency (currentNote);
    if (std::abs ((double) difference) >= tolerance)
    {
        if (! pacing.isStepDue (hz, difference))
            return;
        step ((juce::uint16) (currentValue + stepFor (currentNote, difference)));
        return;
    }

    pacing.reachedTarget();
    if (! hasSettledSince (lastStep))
        return;

    acceptNote (hz);
    if (currentNote > TuneKestruneEngine::lastNote)
    {
        finish();
        return;
    }

    // The next note starts where this one was accepted.
    sendValue (currentValue);
    pacing.restart();
    startNote();
}

double SweepUpTuningAlgorithm::getProgress()
{
    return progressOfCurrentNote();
}

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
        // Every tick until the estimate first reaches or crosses the target;
        // from then on once per new estimate, or the steps overshoot.
        if (approachSign == 0.0f)
            approachSign = difference > 0.0f ? 1.0f : -1.0f;
        if (difference * approachSign < 0.0f)
            approaching = false;
        if (! approaching && hz == steppedOn)
            return;
        steppedOn = hz;
        step ((juce::uint16) (currentValue + stepFor (currentNote, difference)));
        return;
    }

    approaching = false;
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
    steppedOn = -1.0f;
    approaching = true;
    approachSign = 0.0f;
    startNote();
}

double SweepUpTuningAlgorithm::getProgress()
{
    return progressOfCurrentNote();
}

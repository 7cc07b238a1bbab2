#include "GuitarPlayerTuningAlgorithm.h"

#include <cmath>

GuitarPlayerTuningAlgorithm::GuitarPlayerTuningAlgorithm (MidiManager::Ptr manager,
                                                          TuneKestruneEngine& owner,
                                                          const TuneKestruneEngine::CalibrationTable& table)
    : TuningAlgorithm (std::move (manager), owner), deviceCalibration (table)
{
    currentNote = TuneKestruneEngine::firstNote;
    sendStartValue();
    startNote();
}

GuitarPlayerTuningAlgorithm::~GuitarPlayerTuningAlgorithm() = default;

int GuitarPlayerTuningAlgorithm::stepFor (int note, float difference)
{
    if (note <= 26)
    {
        if (difference > 6.0f) return 100;
        if (difference > 1.0f) return 10;
        if (difference > 0.0f) return 3;
        return -3;
    }
    if (difference > 6.0f) return 250;
    if (difference > 3.0f) return 50;
    if (difference > 1.0f) return 10;
    if (difference > 0.0f) return 3;
    return -3;
}

void GuitarPlayerTuningAlgorithm::sendStartValue()
{
    sendValue (deviceCalibration[currentNote].load());
    lastStep = markPitchChange();
    startHeard = false;
    pacing.restart();
}

void GuitarPlayerTuningAlgorithm::processFrequency (float hz)
{
    if (currentNote > 65)
        return;

    // Only the latest mark is tracked: once the start value has been heard,
    // later steps must not hold the stepping back.
    if (! startHeard && ! (startHeard = hasSettledSince (lastStep)))
        return;

    const float difference = hz - targetFrequency (currentNote);
    if (std::abs ((double) difference) >= tolerance)
    {
        if (! pacing.isStepDue (hz, difference))
            return;
        sendValue ((juce::uint16) (currentValue + stepFor (currentNote, difference)));
        lastStep = markPitchChange();
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

    sendStartValue();
    startNote();
}

double GuitarPlayerTuningAlgorithm::getProgress()
{
    return progressOfCurrentNote();
}

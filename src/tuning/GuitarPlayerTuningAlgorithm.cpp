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
    jump = markPitchChange();
}

void GuitarPlayerTuningAlgorithm::processFrequency (float hz)
{
    if (currentNote > 65)
        return;

    if (! hasSettledSince (jump))
        return;

    const float difference = hz - targetFrequency (currentNote);
    if (std::abs ((double) difference) >= tolerance)
    {
        sendValue ((juce::uint16) (currentValue + stepFor (currentNote, difference)));
        return;
    }

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

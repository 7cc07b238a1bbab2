#include "PreciseTuningAlgorithm.h"

#include "tuning/DefaultCalibration.h"

#include <cmath>

namespace
{
constexpr int first = TuneKestruneEngine::firstNote;
constexpr double semitone = 1.0 / 12.0;

// Octaves per value unit at a note by the factory table: the slope of the
// nominal curve, within the unit's deviation of the real one.
double factorySlope (int note)
{
    const auto i = (size_t) juce::jlimit (1, TuneKestruneEngine::numNotes - 1, note - first);
    return -semitone / (double) (defaultCalibration[i - 1] - defaultCalibration[i]);
}
} // namespace

PreciseTuningAlgorithm::PreciseTuningAlgorithm (MidiManager::Ptr manager,
                                                TuneKestruneEngine& owner,
                                                const TuneKestruneEngine::CalibrationTable& table)
    : TuningAlgorithm (std::move (manager), owner)
{
    for (size_t i = 0; i < readBack.size(); ++i)
    {
        readBack[i] = table[i + first].load();
        if (i > 0 && readBack[i] >= readBack[i - 1])
            followReadBack = false;
    }
    currentNote = first;
    measure (followReadBack ? readBack[0] : defaultCalibration[0]);
    startNote();
}

PreciseTuningAlgorithm::~PreciseTuningAlgorithm() = default;

int PreciseTuningAlgorithm::estimatesFor (int note)
{
    return note <= 35 ? 5 : note <= 47 ? 3 : 2;
}

double PreciseTuningAlgorithm::spacingAbove (int note) const
{
    const auto i = (size_t) (note - first);
    return followReadBack ? (double) readBack[i + 1] - readBack[i] : (double) defaultCalibration[i + 1] - defaultCalibration[i];
}

void PreciseTuningAlgorithm::measure (double value)
{
    // Twice: a unit that sounds a value only once the next write arrives
    // sounds it now too, and every other unit takes the same value again.
    const auto v = (juce::uint16) juce::jlimit (0.0, 65535.0, std::round (value));
    sendValue (v);
    sendValue (v);
    mark = markPitchChange();
    lastEstimate = -1.0f;
    sumOfOctaves = 0.0;
    numEstimates = 0;
}

void PreciseTuningAlgorithm::processFrequency (float hz)
{
    if (currentNote > TuneKestruneEngine::lastNote)
        return;

    // Only new estimates of frames made wholly after the value went out.
    if (hz <= 0.0f || hz == lastEstimate || ! hasSettledSince (mark))
        return;
    lastEstimate = hz;
    sumOfOctaves += std::log2 ((double) hz);
    if (++numEstimates < estimatesFor (currentNote))
        return;

    const double measured = sumOfOctaves / numEstimates;
    const double error = measured - std::log2 ((double) targetFrequency (currentNote));
    if (firstMeasurement && std::abs (error) > semitone)
        followReadBack = false;
    firstMeasurement = false;

    if (std::abs (error) * 1200.0 <= toleranceCents)
    {
        acceptNote ((float) std::exp2 (measured));
        if (currentNote > TuneKestruneEngine::lastNote)
        {
            finish();
            return;
        }
        previousValue = -1.0;
        firstMeasurement = true;
        measure (currentValue + spacingAbove (currentNote - 1));
        startNote();
        return;
    }

    // A secant through this note's last two measurements; the factory slope
    // when there is only one or the secant is implausible (noise, a clamp).
    const double model = factorySlope (currentNote);
    double slope = model;
    if (previousValue >= 0.0 && previousValue != currentValue)
    {
        const double secant = (measured - previousOctaves) / (currentValue - previousValue);
        if (secant < model / 3.0 && secant > model * 3.0)
            slope = secant;
    }
    previousValue = currentValue;
    previousOctaves = measured;

    const double limit = 2.0 * semitone / -model;
    double change = juce::jlimit (-limit, limit, -error / slope);
    if (std::abs (change) < 1.0)
        change = change < 0.0 ? -1.0 : 1.0;
    measure (currentValue + change);
}

double PreciseTuningAlgorithm::getProgress()
{
    return progressOfCurrentNote();
}

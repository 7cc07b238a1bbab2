#include "CalibrationCheck.h"

#include <cmath>

CalibrationCheck::CalibrationCheck (const MachineState& state, const PitchCurve& curve, double knobSemitones)
{
    for (int note = FactoryCalibration::firstNote; note <= FactoryCalibration::lastNote; ++note)
    {
        Row row;
        row.note = note;
        row.value = state.valueForNote (note);
        row.frequency = curve.frequency (row.value, knobSemitones);
        row.target = PitchCurve::targetFrequency (note);
        row.cents = PitchCurve::centsBetween (row.frequency, row.target);
        rows.push_back (row);
    }
}

double CalibrationCheck::getLargestAbsoluteCents() const
{
    double largest = 0.0;
    for (const auto& row : rows)
        largest = std::max (largest, std::abs (row.cents));
    return largest;
}

int CalibrationCheck::getWorstNote() const
{
    int worst = FactoryCalibration::firstNote;
    double largest = -1.0;
    for (const auto& row : rows)
        if (std::abs (row.cents) > largest)
        {
            largest = std::abs (row.cents);
            worst = row.note;
        }
    return worst;
}

juce::String CalibrationCheck::format() const
{
    const auto signedCents = [] (double cents) { return (cents >= 0.0 ? "+" : "") + juce::String (cents, 2); };

    juce::String text;
    for (const auto& row : rows)
        text << "note " << row.note << " value " << (int) row.value << " pitch " << juce::String (row.frequency, 4)
             << " target " << juce::String (row.target, 4) << " cents " << signedCents (row.cents) << "\n";
    text << "summary notes=" << (int) rows.size() << " max-abs-cents=" << juce::String (getLargestAbsoluteCents(), 2)
         << " worst-note=" << getWorstNote() << "\n";
    return text;
}

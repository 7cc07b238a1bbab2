#pragma once

#include "tuning/TuneKestruneEngine.h"

// "Precise Tune": starts every note from where the values read back at the
// start of the calibration put it and moves the value by a model of pitch
// against value (a secant step on log frequency) until the note measures
// within 1 cent.
//
// Every measurement is the mean of fresh estimates only, made wholly after
// the value went out; low notes average more of them, as the voice's jitter
// is a larger share of their pitch. The next note starts at the value just
// accepted plus the read-back table's spacing between the two notes (the
// Tune knob shifts the pitch, not the spacing). A read-back table that does
// not fall from note to note, or that puts a note more than a semitone off
// its target when first measured, gives way to the factory table's spacing.
class PreciseTuningAlgorithm : public TuneKestruneEngine::TuningAlgorithm
{
public:
    static constexpr double toleranceCents = 1.0;

    PreciseTuningAlgorithm (MidiManager::Ptr midiManager,
                            TuneKestruneEngine& engine,
                            const TuneKestruneEngine::CalibrationTable& deviceCalibration);
    ~PreciseTuningAlgorithm() override;

    void processFrequency (float hz) override;
    double getProgress() override;

    // How many fresh estimates one measurement of the note averages.
    static int estimatesFor (int note);

private:
    void measure (double value);
    // The value one semitone up from `note` differs by; negative.
    double spacingAbove (int note) const;

    std::array<juce::uint16, TuneKestruneEngine::numNotes> readBack {};
    bool followReadBack = true;
    juce::uint32 mark = 0;
    float lastEstimate = -1.0f;
    double sumOfOctaves = 0.0;
    int numEstimates = 0;
    bool firstMeasurement = true;
    double previousValue = -1.0, previousOctaves = 0.0;   // this note's last measurement

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PreciseTuningAlgorithm)
};

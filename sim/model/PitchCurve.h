#pragma once

#include <juce_core/juce_core.h>

#include <array>

// The pitch of the bass voice as a function of a calibration value: a smooth,
// strictly decreasing curve through the factory values' target pitches (note
// 24's factory value gives 32.70 Hz, note 63's 311.13 Hz), shifted by the Tune
// knob and bent by a smooth deviation of this particular unit.
class PitchCurve
{
public:
    static constexpr double minKnobSemitones = -12.0;
    static constexpr double maxKnobSemitones = 12.0;
    static constexpr double maxDeviationCents = 40.0;

    // Seed 0 is a unit without deviation; every other seed gives its own
    // deviation within +-40 cents.
    explicit PitchCurve (juce::int64 seed = 0);

    // The curve alone: knob at 0, no deviation.
    double nominalFrequency (double value) const;

    // This unit's deviation from the nominal curve at a value, in cents.
    double deviationCents (double value) const;

    // The pitch the voice sounds at, without jitter.
    double frequency (double value, double knobSemitones) const;

    static double clampKnob (double knobSemitones);

    // 440 * 2^((note - 69) / 12)
    static double targetFrequency (int note);

    static double centsBetween (double frequency, double reference);

private:
    struct Component
    {
        double cyclesOverRange = 0.0, phase = 0.0, amplitudeCents = 0.0;
    };

    std::array<Component, 3> deviation {};
};

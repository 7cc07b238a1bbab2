#include "PitchCurve.h"

#include "FactoryCalibration.h"

#include <cmath>

namespace
{
// The curve is a monotone cubic (Fritsch-Butland) through the points
// (factory value, log2 target frequency), continued as straight lines in
// log-frequency beyond the first and last points, so it is smooth, strictly
// decreasing and defined over the whole 16-bit range.
struct CurveKnots
{
    static constexpr int count = FactoryCalibration::numNotes;
    std::array<double, count> x {}, y {}, slope {};

    CurveKnots()
    {
        // Rising value means falling note: knot i is note 63 - i.
        for (int i = 0; i < count; ++i)
        {
            const int note = FactoryCalibration::lastNote - i;
            x[(size_t) i] = FactoryCalibration::valueForNote (note);
            y[(size_t) i] = std::log2 (PitchCurve::targetFrequency (note));
        }

        std::array<double, count - 1> secant {}, width {};
        for (size_t i = 0; i + 1 < (size_t) count; ++i)
        {
            width[i] = x[i + 1] - x[i];
            secant[i] = (y[i + 1] - y[i]) / width[i];
        }

        slope[0] = secant[0];
        slope[(size_t) count - 1] = secant[(size_t) count - 2];
        for (size_t i = 1; i + 1 < (size_t) count; ++i)
        {
            // Weighted harmonic mean of the neighbouring secants (all negative).
            const auto h0 = width[i - 1], h1 = width[i];
            const auto w1 = 2.0 * h1 + h0, w2 = h1 + 2.0 * h0;
            slope[i] = (w1 + w2) / (w1 / secant[i - 1] + w2 / secant[i]);
        }
    }

    double log2Frequency (double value) const
    {
        const auto last = (size_t) count - 1;
        if (value <= x[0])
            return y[0] + slope[0] * (value - x[0]);
        if (value >= x[last])
            return y[last] + slope[last] * (value - x[last]);

        size_t i = 0;
        while (value > x[i + 1])
            ++i;

        const auto h = x[i + 1] - x[i];
        const auto t = (value - x[i]) / h;
        const auto t2 = t * t, t3 = t2 * t;
        return (2 * t3 - 3 * t2 + 1) * y[i] + (t3 - 2 * t2 + t) * h * slope[i]
               + (-2 * t3 + 3 * t2) * y[i + 1] + (t3 - t2) * h * slope[i + 1];
    }
};

const CurveKnots& knots()
{
    static const CurveKnots instance;
    return instance;
}

constexpr double valueRange = 65536.0;
} // namespace

PitchCurve::PitchCurve (juce::int64 seed)
{
    if (seed == 0)
        return;

    // A few slow undulations over the value range. At most two cycles keeps
    // the deviation's slope (at most 40 * 2pi * 2 / 65536 = 0.008 cents per
    // unit) well below the curve's own (0.028 cents per unit at its flattest),
    // so the sum stays strictly decreasing.
    juce::Random random (seed);
    const auto totalCents = 20.0 + 20.0 * random.nextDouble();
    double weightSum = 0.0;
    for (auto& component : deviation)
    {
        component.cyclesOverRange = 0.5 + 1.5 * random.nextDouble();
        component.phase = juce::MathConstants<double>::twoPi * random.nextDouble();
        component.amplitudeCents = 0.2 + random.nextDouble();
        weightSum += component.amplitudeCents;
    }
    for (auto& component : deviation)
        component.amplitudeCents *= totalCents / weightSum;
}

double PitchCurve::nominalFrequency (double value) const
{
    return std::exp2 (knots().log2Frequency (value));
}

double PitchCurve::deviationCents (double value) const
{
    double cents = 0.0;
    for (const auto& component : deviation)
        cents += component.amplitudeCents
                 * std::sin (juce::MathConstants<double>::twoPi * component.cyclesOverRange * value / valueRange
                             + component.phase);
    return cents;
}

double PitchCurve::frequency (double value, double knobSemitones) const
{
    return std::exp2 (knots().log2Frequency (value) + clampKnob (knobSemitones) / 12.0
                      + deviationCents (value) / 1200.0);
}

double PitchCurve::clampKnob (double knobSemitones)
{
    if (! std::isfinite (knobSemitones))
        return 0.0;
    return juce::jlimit (minKnobSemitones, maxKnobSemitones, knobSemitones);
}

double PitchCurve::targetFrequency (int note)
{
    return 440.0 * std::exp2 ((note - 69) / 12.0);
}

double PitchCurve::centsBetween (double frequency, double reference)
{
    return 1200.0 * std::log2 (frequency / reference);
}

#include "sim/model/CalibrationCheck.h"
#include "sim/model/PitchCurve.h"

#include <gtest/gtest.h>

TEST (SimPitchCurve, PassesThroughEveryFactoryValuesTarget)
{
    const PitchCurve curve;
    EXPECT_NEAR (curve.frequency (64821, 0.0), 32.7032, 1e-4);
    EXPECT_NEAR (curve.frequency (3865, 0.0), 311.127, 1e-3);
    for (int note = 24; note <= 63; ++note)
        EXPECT_NEAR (PitchCurve::centsBetween (curve.frequency (FactoryCalibration::valueForNote (note), 0.0),
                                               PitchCurve::targetFrequency (note)),
                     0.0, 1e-9)
            << note;
}

TEST (SimPitchCurve, IsStrictlyDecreasingOverTheWholeRangeForEveryUnit)
{
    for (juce::int64 seed = 0; seed < 12; ++seed)
    {
        const PitchCurve curve (seed);
        auto previous = curve.frequency (0, 0.0);
        for (int value = 1; value <= 0xFFFF; ++value)
        {
            const auto f = curve.frequency (value, 0.0);
            ASSERT_LT (f, previous) << "seed " << seed << " value " << value;
            previous = f;
        }
    }
}

TEST (SimPitchCurve, IsSmoothAcrossTheFactoryValues)
{
    // No kinks: the slope on either side of each knot agrees closely.
    const PitchCurve curve;
    for (int note = 25; note <= 62; ++note)
    {
        const double v = FactoryCalibration::valueForNote (note);
        const auto left = std::log2 (curve.frequency (v, 0.0) / curve.frequency (v - 1.0, 0.0));
        const auto right = std::log2 (curve.frequency (v + 1.0, 0.0) / curve.frequency (v, 0.0));
        EXPECT_NEAR (left / right, 1.0, 0.01) << note;
    }
}

TEST (SimPitchCurve, TheLowestPitchAtKnobZeroIsInTheKnobStepsWindowOnEveryUnit)
{
    for (juce::int64 seed = 0; seed < 50; ++seed)
    {
        const PitchCurve curve (seed);
        const auto lowest = curve.frequency (0xFFFF, 0.0);
        EXPECT_GT (lowest, 20.0) << seed;
        EXPECT_LT (lowest, 32.70) << seed;
        // ...and every target stays reachable.
        EXPECT_GT (curve.frequency (0, 0.0), PitchCurve::targetFrequency (63)) << seed;
    }
}

TEST (SimPitchCurve, UnitsDeviateSmoothlyWithinFortyCents)
{
    EXPECT_EQ (PitchCurve (0).deviationCents (30000), 0.0);

    double largest = 0.0;
    for (juce::int64 seed = 1; seed < 50; ++seed)
    {
        const PitchCurve curve (seed);
        for (int value = 0; value <= 0xFFFF; value += 97)
        {
            const auto cents = curve.deviationCents (value);
            ASSERT_LE (std::abs (cents), PitchCurve::maxDeviationCents);
            largest = std::max (largest, std::abs (cents));
        }
    }
    EXPECT_GT (largest, 15.0) << "units should differ noticeably";
    EXPECT_NE (PitchCurve (1).deviationCents (30000), PitchCurve (2).deviationCents (30000));
    EXPECT_EQ (PitchCurve (7).deviationCents (12345), PitchCurve (7).deviationCents (12345));
}

TEST (SimPitchCurve, TheKnobMultipliesByTwoToTheSemitonesOverTwelveAndIsClamped)
{
    const PitchCurve curve (3);
    const auto f = curve.frequency (40000, 0.0);
    EXPECT_NEAR (curve.frequency (40000, 1.0), f * std::exp2 (1.0 / 12.0), 1e-9);
    EXPECT_NEAR (curve.frequency (40000, -12.0), f / 2.0, 1e-9);
    EXPECT_DOUBLE_EQ (curve.frequency (40000, 40.0), curve.frequency (40000, 12.0));
    EXPECT_DOUBLE_EQ (curve.frequency (40000, -40.0), curve.frequency (40000, -12.0));

    // A knob turned up pushes the lowest pitch out of the knob step's window.
    EXPECT_GT (curve.frequency (0xFFFF, 2.0), 32.70);
    EXPECT_LT (curve.frequency (0xFFFF, -8.0), 20.0);
}

TEST (SimCalibrationCheck, FactoryTableOnAPerfectUnitIsExactAndADeviantUnitIsNot)
{
    const CalibrationCheck exact (MachineState::factory(), PitchCurve (0), 0.0);
    ASSERT_EQ (exact.getRows().size(), 40u);
    EXPECT_LT (exact.getLargestAbsoluteCents(), 1e-6);

    const CalibrationCheck deviant (MachineState::factory(), PitchCurve (5), 0.0);
    EXPECT_GT (deviant.getLargestAbsoluteCents(), 1.0);
    const auto& worst = deviant.getRows()[(size_t) (deviant.getWorstNote() - 24)];
    EXPECT_DOUBLE_EQ (std::abs (worst.cents), deviant.getLargestAbsoluteCents());

    const CalibrationCheck knob (MachineState::factory(), PitchCurve (0), 1.0);
    EXPECT_NEAR (knob.getLargestAbsoluteCents(), 100.0, 1e-6);
}

TEST (SimCalibrationCheck, FormatGivesOneLineANoteAndASummary)
{
    auto state = MachineState::factory();
    state.calibration[0] = 64280;   // note 24 at note 25's value: a semitone sharp
    const auto lines = juce::StringArray::fromLines (CalibrationCheck (state, PitchCurve (0), 0.0).format().trim());
    ASSERT_EQ (lines.size(), 41);
    EXPECT_EQ (lines[0], "note 24 value 64280 pitch 34.6478 target 32.7032 cents +100.00");
    EXPECT_EQ (lines[1], "note 25 value 64280 pitch 34.6478 target 34.6478 cents +0.00");
    EXPECT_EQ (lines[40], "summary notes=40 max-abs-cents=100.00 worst-note=24");
}

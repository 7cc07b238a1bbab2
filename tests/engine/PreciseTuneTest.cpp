#include "support/SimRig.h"

#include "sim/model/CalibrationCheck.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace enginetest;

namespace
{
enum class Start
{
    factory,   // the table the machine left the factory with
    near,      // within 10 cents of every target
    flat       // not falling from note to note: no guide at all
};

// The stored table that sounds each note `cents` (alternating in sign) off its target.
FactoryCalibration::Table tableOff (const PitchCurve& curve, double knob, double cents)
{
    FactoryCalibration::Table table {};
    for (size_t i = 0; i < table.size(); ++i)
    {
        const double goal = PitchCurve::targetFrequency ((int) i + 24) * std::exp2 ((i % 2 == 0 ? cents : -cents) / 1200.0);
        double low = 0.0, high = 65535.0;   // the pitch falls as the value rises
        for (int step = 0; step < 40; ++step)
            (curve.frequency ((low + high) / 2.0, knob) > goal ? low : high) = (low + high) / 2.0;
        table[i] = (juce::uint16) std::round (low);
    }
    return table;
}
} // namespace

// Whole calibrations in simulated time on several units and Tune knob settings.
TEST (PreciseTune, EndsWithEveryNoteWithinTwoCentsInTime)
{
    struct Case
    {
        juce::int64 seed;
        double knob;
        Start start;
        double budgetMs;
        bool late = false;   // the machine sounds each note one write behind
    };
    for (const auto& c : { Case { 1, 0.0, Start::factory, 180000.0 }, Case { 2, 0.3, Start::factory, 180000.0 },
                           Case { 3, -0.3, Start::factory, 180000.0 }, Case { 4, 0.3, Start::near, 90000.0 },
                           Case { 5, -0.3, Start::near, 90000.0 }, Case { 6, 0.0, Start::flat, 180000.0 },
                           Case { 7, 0.3, Start::factory, 180000.0, true } })
    {
        SCOPED_TRACE ("seed " + std::to_string (c.seed) + " knob " + std::to_string (c.knob) + " start " + std::to_string ((int) c.start)
                      + (c.late ? " late" : ""));
        auto options = machineOptions (c.seed, c.knob);
        options.soundsOneWriteLate = c.late;
        if (c.start == Start::near)
            options.initialState.calibration = tableOff (PitchCurve (c.seed), c.knob, 9.0);
        if (c.start == Start::flat)
            options.initialState.calibration.fill (30000);
        SimRig rig (options);

        rig.engine->setTuningAlgorithm ("Precise Tune");
        rig.startAndBegin();
        EXPECT_LE (rig.runToEnd(), c.budgetMs);
        EXPECT_EQ (rig.listener.milestones().back(), "written new stored");
        // A named check: the rows belong to it, and a temporary would be gone before the loop.
        const CalibrationCheck check (rig.machine->getStoredState(), rig.machine->getPitchCurve(), c.knob);
        for (const auto& row : check.getRows())
            EXPECT_LE (std::abs (row.cents), 2.0) << "note " << row.note;
    }
}

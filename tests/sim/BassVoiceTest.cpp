#include "midi/DeviceMessages.h"
#include "sim/model/VirtualKestrune.h"

#include <gtest/gtest.h>

#include <thread>

TEST (SimPitchCurve, EveryUnitFallsThroughAWindowThatKeepsTheTargetsReachable)
{
    for (int note = 24; note <= 63; ++note)
        EXPECT_NEAR (PitchCurve().frequency (FactoryCalibration::valueForNote (note), 0.0), PitchCurve::targetFrequency (note), 1e-6) << note;
    for (juce::int64 seed = 0; seed < 12; ++seed)
    {
        SCOPED_TRACE (seed);
        const PitchCurve curve (seed);
        for (int value = 1; value <= 0xFFFF; ++value)
        {
            ASSERT_LT (curve.frequency (value, 0.0), curve.frequency (value - 1, 0.0)) << value;
            ASSERT_LE (std::abs (curve.deviationCents (value)), PitchCurve::maxDeviationCents);
        }
        EXPECT_TRUE (curve.frequency (0xFFFF, 0.0) > 20.0 && curve.frequency (0xFFFF, 0.0) < 32.70) << curve.frequency (0xFFFF, 0.0);
        EXPECT_GT (curve.frequency (0, 0.0), PitchCurve::targetFrequency (63));
        EXPECT_NEAR (curve.frequency (40000, -12.0), curve.frequency (40000, 0.0) / 2.0, 1e-9);
        EXPECT_DOUBLE_EQ (curve.frequency (40000, 40.0), curve.frequency (40000, 12.0));
    }
    EXPECT_NE (PitchCurve (1).deviationCents (30000), PitchCurve (2).deviationCents (30000)) << "units differ";
}

TEST (SimAudio, AudioAndControlThreadsCanRunTogether)
{
    // Under ThreadSanitizer: the audio side shares nothing unguarded with the control side.
    VirtualKestrune machine;
    machine.receive (DeviceMessages::noteOn (24));
    std::atomic<bool> done { false };
    std::thread audio ([&] {
        float block[480];
        while (! done)
            machine.renderAudio (block, 480, 48000.0);
    });
    for (int i = 0; i < 2000; ++i)
    {
        machine.receive (DeviceMessages::calibrationValueWrite (24, (juce::uint16) (60000 - i)));
        machine.setKnob (i / 1000.0);
    }
    done = true;
    audio.join();
}

#include "midi/DeviceMessages.h"
#include "sim/model/PitchMeter.h"
#include "sim/model/VirtualKestrune.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
std::vector<float> render (VirtualKestrune& machine, double seconds, double sampleRate = 48000.0, int blockSize = 512)
{
    std::vector<float> samples ((size_t) (seconds * sampleRate));
    for (size_t offset = 0; offset < samples.size(); offset += (size_t) blockSize)
        machine.renderAudio (samples.data() + offset, (int) std::min<size_t> ((size_t) blockSize, samples.size() - offset), sampleRate);
    return samples;
}

double decibels (const std::vector<float>& s, size_t skip) { return PitchMeter::rmsDecibels (s.data() + skip, (int) (s.size() - skip)); }
} // namespace

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
        EXPECT_GT (curve.frequency (0xFFFF, 0.0), 20.0);
        EXPECT_LT (curve.frequency (0xFFFF, 0.0), 32.70);
        EXPECT_GT (curve.frequency (0, 0.0), PitchCurve::targetFrequency (63));
        EXPECT_NEAR (curve.frequency (40000, -12.0), curve.frequency (40000, 0.0) / 2.0, 1e-9);
        EXPECT_DOUBLE_EQ (curve.frequency (40000, 40.0), curve.frequency (40000, 12.0));
    }
    EXPECT_NE (PitchCurve (1).deviationCents (30000), PitchCurve (2).deviationCents (30000)) << "units differ";
}

TEST (SimAudio, TheVoiceSoundsAtItsWorkingValuesPitchAndAChangeRunsOnWithoutAJump)
{
    VirtualKestrune::Options options;
    options.knobSemitones = -1.5;
    VirtualKestrune machine (options);
    EXPECT_NEAR (decibels (render (machine, 0.5), 0), -70.0, 1.5);
    machine.receive (DeviceMessages::noteOn (24));
    const auto before = render (machine, 1.0, 44100.0, 441);
    EXPECT_NEAR (decibels (before, 4410), -8.0, 1.0);
    EXPECT_NEAR (PitchMeter::measure (before.data() + 4410, 44100 - 4410, 44100.0), machine.getPitchCurve().frequency (64821, -1.5), 0.02);

    // The first cycles after a change already have the new period.
    machine.receive (DeviceMessages::calibrationValueWrite (24, 30000));
    const auto after = render (machine, 1.0, 44100.0, 441);
    float largestStep = 0.0f;
    for (size_t i = 1; i < after.size(); ++i)
        largestStep = std::max (largestStep, std::abs (after[i] - after[i - 1]));
    EXPECT_LE (std::abs (after[0] - before.back()), largestStep * 1.01f);
    EXPECT_NEAR (PitchMeter::measure (after.data(), 4410, 44100.0), machine.getPitchCurve().frequency (30000, -1.5), 0.1);

    machine.setMuted (true);
    EXPECT_TRUE (std::isinf (decibels (render (machine, 0.2), 0))) << "muted is silent";
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
    EXPECT_EQ (machine.getWorkingValue (24), 60000 - 1999);
}

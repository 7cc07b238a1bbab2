#include "midi/DeviceMessages.h"
#include "sim/model/PitchMeter.h"
#include "sim/model/SimulatedClock.h"
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

double measure (const std::vector<float>& samples, double sampleRate = 48000.0, size_t skip = 4800)
{
    return PitchMeter::measure (samples.data() + skip, (int) (samples.size() - skip), sampleRate);
}

std::vector<float> sine (double hz, double seconds, double sampleRate)
{
    std::vector<float> samples ((size_t) (seconds * sampleRate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = (float) (0.3 * std::sin (juce::MathConstants<double>::twoPi * hz * (double) i / sampleRate) + 0.05);
    return samples;
}
} // namespace

TEST (SimPitchMeter, MeasuresASineToAThousandthOfAHertz)
{
    for (double hz : { 29.3, 32.7032, 100.0, 311.127 })
        EXPECT_NEAR (PitchMeter::measure (sine (hz, 2.0, 44100.0).data(), 88200, 44100.0), hz, 1e-3) << hz;
    std::vector<float> silence (48000, 0.0f);
    EXPECT_EQ (PitchMeter::measure (silence.data(), 48000, 48000.0), 0.0);
}

TEST (SimAudio, NoteTwentyFourSoundsAtThePitchOfItsWorkingValue)
{
    for (juce::uint16 value : { (juce::uint16) 0xFFFF, (juce::uint16) 64821, (juce::uint16) 30000, (juce::uint16) 3865 })
    {
        VirtualKestrune machine;
        machine.receive (DeviceMessages::calibrationValueWrite (24, value));
        machine.receive (DeviceMessages::noteOn (24));
        const auto measured = measure (render (machine, 2.0));
        const auto expected = machine.getPitchCurve().frequency (value, 0.0);
        EXPECT_NEAR (measured, expected, 0.02) << value;
        EXPECT_LT (std::abs (PitchCurve::centsBetween (measured, expected)), 1.0) << value;
    }
}

TEST (SimAudio, PitchIsRightAtBothSampleRatesAndAnyBlockSize)
{
    for (auto [rate, block] : { std::pair { 44100.0, 441 }, std::pair { 48000.0, 480 }, std::pair { 44100.0, 4096 } })
    {
        VirtualKestrune::Options options;
        options.seed = 9;
        options.knobSemitones = -1.5;
        VirtualKestrune machine (options);
        machine.receive (DeviceMessages::noteOn (50));
        EXPECT_NEAR (measure (render (machine, 2.0, rate, block), rate, 4410), machine.getSoundingFrequency(), 0.02) << rate;
    }
}

TEST (SimAudio, LevelIsAboutMinusEightDbfsWithANoiseFloorNearMinusSeventy)
{
    VirtualKestrune machine;
    const auto idle = render (machine, 0.5);
    EXPECT_NEAR (PitchMeter::rmsDecibels (idle.data(), (int) idle.size()), -70.0, 1.5);

    machine.receive (DeviceMessages::noteOn (30));
    const auto playing = render (machine, 1.0);
    EXPECT_NEAR (PitchMeter::rmsDecibels (playing.data() + 4800, (int) playing.size() - 4800), -8.0, 1.0);
    const auto peak = *std::max_element (playing.begin(), playing.end());
    EXPECT_LT (peak, 0.5f);

    machine.receive (DeviceMessages::noteOff (30));
    const auto released = render (machine, 0.5);
    EXPECT_LT (PitchMeter::rmsDecibels (released.data() + 2400, (int) released.size() - 2400), -65.0);
}

TEST (SimAudio, MutedMachineIsSilent)
{
    VirtualKestrune machine;
    machine.receive (DeviceMessages::noteOn (24));
    machine.setMuted (true);
    const auto muted = render (machine, 0.2);
    EXPECT_TRUE (std::all_of (muted.begin(), muted.end(), [] (float s) { return s == 0.0f; }));
    machine.setMuted (false);
    const auto back = render (machine, 0.2);
    EXPECT_GT (PitchMeter::rmsDecibels (back.data(), (int) back.size()), -12.0);
}

TEST (SimAudio, AValueChangeSoundsAtOnceWithoutAJumpInTheWave)
{
    VirtualKestrune machine;
    machine.receive (DeviceMessages::noteOn (24));
    const auto before = render (machine, 1.0);
    machine.receive (DeviceMessages::calibrationValueWrite (24, 30000));
    const auto after = render (machine, 1.0);

    // The largest sample-to-sample step across the change is no larger than
    // within the steady wave: the phase runs on.
    const auto largestStep = [] (const float* s, size_t n)
    {
        float largest = 0.0f;
        for (size_t i = 1; i < n; ++i)
            largest = std::max (largest, std::abs (s[i] - s[i - 1]));
        return largest;
    };
    const float joint[] = { before[before.size() - 2], before.back(), after[0], after[1] };
    EXPECT_LE (largestStep (joint, 4), largestStep (after.data(), after.size()) * 1.01f);

    // The first cycle after the change already has the new period: measure
    // over the first 100 ms only (about eight cycles at 79 Hz).
    const auto expected = machine.getPitchCurve().frequency (30000, 0.0);
    EXPECT_NEAR (PitchMeter::measure (after.data(), 4800, 48000.0), expected, 0.1);
}

TEST (SimAudio, JitterStaysWithinAHundredthOfAHertz)
{
    VirtualKestrune machine;
    machine.receive (DeviceMessages::noteOn (45));
    const auto samples = render (machine, 4.0);
    const auto expected = machine.getSoundingFrequency();
    double lowest = 1e9, highest = 0.0;
    for (size_t offset = 4800; offset + 24000 <= samples.size(); offset += 12000)
    {
        const auto f = PitchMeter::measure (samples.data() + offset, 24000, 48000.0);
        lowest = std::min (lowest, f);
        highest = std::max (highest, f);
    }
    EXPECT_GT (lowest, expected - 0.012);
    EXPECT_LT (highest, expected + 0.012);
    EXPECT_GT (highest - lowest, 1e-4) << "an analog voice is never perfectly steady";
}

TEST (SimAudio, AudioAndControlThreadsCanRunTogether)
{
    // Under ThreadSanitizer this proves the audio side shares nothing
    // unguarded with the control side.
    VirtualKestrune machine;
    machine.receive (DeviceMessages::noteOn (24));
    std::atomic<bool> done { false };
    std::thread audio ([&]
                       {
                           float block[480];
                           while (! done)
                               machine.renderAudio (block, 480, 48000.0);
                       });
    for (int i = 0; i < 2000; ++i)
    {
        machine.receive (DeviceMessages::calibrationValueWrite (24, (juce::uint16) (60000 - i)));
        if (i % 100 == 0)
            machine.setKnob (i / 1000.0);
    }
    done = true;
    audio.join();
    EXPECT_EQ (machine.getWorkingValue (24), 60000 - 1999);
}

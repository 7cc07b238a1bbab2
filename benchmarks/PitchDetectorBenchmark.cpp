#include "tuning/PitchDetector.h"
#include "tuning/RadixTwoPitchDetector.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <vector>

namespace
{
constexpr int frameSize = 16384;
constexpr int hop = 8192;

// A bass note with a few partials, so that the peak search has work to do.
std::vector<float> testSignal (size_t numSamples)
{
    std::vector<float> samples (numSamples);
    for (size_t n = 0; n < numSamples; ++n)
    {
        const double t = (double) n / 48000.0;
        samples[n] = (float) (0.5 * std::sin (2.0 * juce::MathConstants<double>::pi * 65.4 * t) + 0.2 * std::sin (2.0 * juce::MathConstants<double>::pi * 196.2 * t)
                              + 0.1 * std::sin (2.0 * juce::MathConstants<double>::pi * 327.0 * t));
    }
    return samples;
}

// One iteration is one whole frame: 8,192 new samples handed over at once.
template <typename Detector>
void runFrames (benchmark::State& state, Detector& detector)
{
    const auto signal = testSignal (64 * hop);
    size_t position = 0;
    for (auto _ : state)
    {
        const bool analysed = detector.processSamples (signal.data() + position, hop);
        benchmark::DoNotOptimize (analysed);
        position = (position + hop) % signal.size();
    }
    benchmark::DoNotOptimize (detector.getFrequency());
}

void radixTwoFrame (benchmark::State& state)
{
    RadixTwoPitchDetector detector (frameSize, 2, 48000.0f);
    runFrames (state, detector);
}

void pitchDetectorFrame (benchmark::State& state)
{
    PitchDetector detector (frameSize, 2, 48000.0f);
    runFrames (state, detector);
}

void radixTwoTransform (benchmark::State& state)
{
    const auto signal = testSignal (frameSize);
    std::vector<float> workspace (2 * frameSize);
    for (auto _ : state)
    {
        for (int k = 0; k < frameSize; ++k)
        {
            workspace[(size_t) (2 * k)] = signal[(size_t) k];
            workspace[(size_t) (2 * k + 1)] = 0.0f;
        }
        RadixTwoPitchDetector::computeFft (workspace.data(), frameSize, -1);
        benchmark::DoNotOptimize (workspace.data());
    }
}

const unsigned planningModes[] = { FFTW_ESTIMATE, FFTW_MEASURE, FFTW_PATIENT };
const char* const planningModeNames[] = { "FFTW_ESTIMATE", "FFTW_MEASURE", "FFTW_PATIENT" };

// Executing a real-input plan made in each planning mode.
void fftwTransform (benchmark::State& state)
{
    const auto mode = planningModes[state.range (0)];
    state.SetLabel (planningModeNames[state.range (0)]);
    auto* input = fftwf_alloc_real (frameSize);
    auto* output = fftwf_alloc_complex (frameSize / 2 + 1);
    fftwf_forget_wisdom();
    auto plan = fftwf_plan_dft_r2c_1d (frameSize, input, output, mode);
    const auto signal = testSignal (frameSize);
    for (auto _ : state)
    {
        std::copy (signal.begin(), signal.end(), input);
        fftwf_execute (plan);
        benchmark::DoNotOptimize (output);
    }
    fftwf_destroy_plan (plan);
    fftwf_free (output);
    fftwf_free (input);
}

// Making the plan from scratch (no wisdom), as the first device start does.
void fftwPlanning (benchmark::State& state)
{
    const auto mode = planningModes[state.range (0)];
    state.SetLabel (planningModeNames[state.range (0)]);
    auto* input = fftwf_alloc_real (frameSize);
    auto* output = fftwf_alloc_complex (frameSize / 2 + 1);
    for (auto _ : state)
    {
        fftwf_forget_wisdom();
        auto plan = fftwf_plan_dft_r2c_1d (frameSize, input, output, mode);
        fftwf_destroy_plan (plan);
    }
    fftwf_free (output);
    fftwf_free (input);
}

// A device restart: the detector is rebuilt while FFTW still has the wisdom.
void pitchDetectorConstruction (benchmark::State& state)
{
    const PitchDetector first (frameSize, 2, 48000.0f);
    for (auto _ : state)
    {
        PitchDetector detector (frameSize, 2, 48000.0f);
        benchmark::DoNotOptimize (detector.getFrequency());
    }
}
} // namespace

BENCHMARK (radixTwoFrame)->Unit (benchmark::kMillisecond);
BENCHMARK (pitchDetectorFrame)->Unit (benchmark::kMillisecond);
BENCHMARK (radixTwoTransform)->Unit (benchmark::kMillisecond);
BENCHMARK (fftwTransform)->DenseRange (0, 2)->Unit (benchmark::kMillisecond);
BENCHMARK (fftwPlanning)->DenseRange (0, 2)->Iterations (3)->Unit (benchmark::kMillisecond);
BENCHMARK (pitchDetectorConstruction)->Unit (benchmark::kMillisecond);

BENCHMARK_MAIN();

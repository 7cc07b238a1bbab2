#include "PitchDetector.h"

#include "KestruneConfig.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if KESTRUNE_WITH_FFTW
 #include <fftw3.h>
 #include <mutex>
#else
 #include <juce_dsp/juce_dsp.h>
 #include <complex>
 #include <vector>
#endif

namespace
{
// Phase of a bin in double precision, with the exact values on the axes.
double phaseOf (double re, double im)
{
    constexpr double pi = juce::MathConstants<double>::pi;
    if (im == 0.0)
        return 0.0;
    if (re == 0.0)
        return im > 0.0 ? pi / 2.0 : -pi / 2.0;
    return std::atan2 (im, re);
}
} // namespace

#if KESTRUNE_WITH_FFTW
namespace
{
// Only fftwf_execute is thread-safe; planning and destroying plans are not.
std::mutex& fftwPlannerMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Measured for the 16,384-point real transform: FFTW_ESTIMATE plans in about
// 2 ms and its plan runs within a few microseconds of FFTW_MEASURE's, which
// takes about half a second to plan (FFTW_PATIENT: seconds) and would stall
// the message thread on the first device start.
constexpr unsigned fftwPlanningFlags = FFTW_ESTIMATE;
} // namespace

// FFTW's real-input transform: size real samples in input, size / 2 + 1
// complex bins out, interleaved re and im.
struct PitchDetector::Transform
{
    explicit Transform (int size)
        : input (fftwf_alloc_real ((size_t) size)),
          output (fftwf_alloc_complex ((size_t) size / 2 + 1)),
          bins (&output[0][0])
    {
        const std::lock_guard<std::mutex> guard (fftwPlannerMutex());
        plan = fftwf_plan_dft_r2c_1d (size, input, output, fftwPlanningFlags);
        jassert (plan != nullptr);
    }

    ~Transform()
    {
        const std::lock_guard<std::mutex> guard (fftwPlannerMutex());
        fftwf_destroy_plan (plan);
        fftwf_free (output);
        fftwf_free (input);
    }

    void execute() { fftwf_execute (plan); }

    float* const input;
    fftwf_complex* const output;
    const float* const bins;
    fftwf_plan plan = nullptr;

    JUCE_DECLARE_NON_COPYABLE (Transform)
};
#else
// JUCE's own FFT where FFTW is not available. Its real-only entry point puts
// a complex copy of the frame on the stack (128 KiB here), so the frame goes
// through the complex transform with buffers made up front instead. The
// engine's spin lock is its own and only ever taken by the thread analysing.
struct PitchDetector::Transform
{
    explicit Transform (int size)
        : fft (juce::roundToInt (std::log2 (size))),
          realInput ((size_t) size),
          complexInput ((size_t) size),
          output ((size_t) size),
          input (realInput.data()),
          bins (reinterpret_cast<const float*> (output.data()))
    {
        jassert (fft.getSize() == size);
    }

    void execute()
    {
        std::transform (realInput.begin(), realInput.end(), complexInput.begin(),
                        [] (float sample) { return std::complex<float> (sample, 0.0f); });
        fft.perform (complexInput.data(), output.data(), false);
    }

    juce::dsp::FFT fft;
    std::vector<float> realInput;
    std::vector<std::complex<float>> complexInput, output;
    float* const input;
    const float* const bins;

    JUCE_DECLARE_NON_COPYABLE (Transform)
};
#endif

PitchDetector::PitchDetector (juce::int64 frameSizeToUse, juce::int64 oversamplingToUse, float sampleRateToUse)
    : frameSize (frameSizeToUse),
      oversampling (oversamplingToUse),
      sampleRate (sampleRateToUse),
      expectedPhaseStep (2.0 * juce::MathConstants<double>::pi * (double) (frameSizeToUse / oversamplingToUse)
                         / (double) frameSizeToUse),
      fifoLatency (frameSizeToUse - frameSizeToUse / oversamplingToUse)
{
    jassert (frameSize > 0 && frameSize % 2 == 0 && frameSize <= std::numeric_limits<int>::max());
    jassert (oversampling > 0 && frameSize % oversampling == 0);

    lastSpectrum.assign (2 * (size_t) (frameSize / 2 + 1), 0.0f);

    // The first fifoLatency entries are the priming zeros and are never written.
    inputFifo.assign ((size_t) frameSize, 0.0f);
    fifoFill = fifoLatency;

    window.resize ((size_t) frameSize);
    for (size_t k = 0; k < window.size(); ++k)
        window[k] = 0.5 - 0.5 * std::cos (2.0 * juce::MathConstants<double>::pi * (double) k / (double) frameSize);

    transform = std::make_unique<Transform> ((int) frameSize);
}

PitchDetector::~PitchDetector() = default;

bool PitchDetector::processSamples (const float* samples, juce::int64 count)
{
    jassert (samples != nullptr || count <= 0);

    bool analysed = false;
    while (count > 0)
    {
        const auto toCopy = std::min (count, frameSize - fifoFill);
        std::copy (samples, samples + toCopy, inputFifo.data() + fifoFill);
        fifoFill += toCopy;
        samples += toCopy;
        count -= toCopy;

        if (fifoFill < frameSize)
            break;

        analyseFrame();
        // Cut back to the priming zeros. The rest of this block opens the next
        // frame, so that frames stay exactly one hop apart whatever the block
        // size: the phase refinement depends on it.
        fifoFill = fifoLatency;
        analysed = true;
    }
    return analysed;
}

void PitchDetector::analyseFrame()
{
    constexpr double pi = juce::MathConstants<double>::pi;

    // The priming zeros stay zeros under the window.
    auto* input = transform->input;
    std::fill (input, input + fifoLatency, 0.0f);
    for (juce::int64 k = fifoLatency; k < frameSize; ++k)
        input[k] = (float) ((double) inputFifo[(size_t) k] * window[(size_t) k]);

    transform->execute();

    const auto* bins = transform->bins;
    const double binWidth = (double) sampleRate / (double) frameSize;
    const auto numBins = frameSize / 2 + 1;

    // Magnitudes as the single-precision values they would be stored as, so
    // that ties fall to the lowest bin exactly as in a stored spectrum.
    juce::int64 peak = 0;
    float peakMagnitude = 0.0f;
    for (juce::int64 k = 0; k < numBins; ++k)
    {
        const auto re = (double) bins[2 * k];
        const auto im = (double) bins[2 * k + 1];
        const auto magnitude = (float) (2.0 * std::sqrt (re * re + im * im));
        if (magnitude > peakMagnitude)
        {
            peakMagnitude = magnitude;
            peak = k;
        }
    }

    // The previous phase went through single precision, as a stored phase would.
    const auto lastPhase = (float) phaseOf ((double) lastSpectrum[2 * peak], (double) lastSpectrum[2 * peak + 1]);
    double delta = phaseOf ((double) bins[2 * peak], (double) bins[2 * peak + 1]) - (double) lastPhase;
    delta -= (double) peak * expectedPhaseStep;

    // Wrap into -pi..pi: round delta / pi to an even multiple away from zero.
    auto wraps = (juce::int64) (delta / pi);
    if ((wraps & 1) != 0)
        wraps += wraps >= 0 ? 1 : -1;
    delta -= pi * (double) wraps;

    const double deviationInBins = (double) oversampling * delta / (2.0 * pi);
    frequency = (float) ((double) peak * binWidth + deviationInBins * binWidth);

    std::copy (bins, bins + lastSpectrum.size(), lastSpectrum.data());
}

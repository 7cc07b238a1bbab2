#include "AnalysisInput.h"

AnalysisInput::AnalysisInput (DetectTuneAudioCallback::Ptr analysisToFeed, int hop)
    : analysis (std::move (analysisToFeed)), hopSize (hop)
{
    jassert (analysis != nullptr && hopSize > 0);
}

AnalysisInput::~AnalysisInput() = default;

void AnalysisInput::setChannel (int deviceInputChannel)
{
    channel.store (juce::jmax (0, deviceInputChannel));
}

juce::uint32 AnalysisInput::markPitchChange()
{
    return marksRequested.fetch_add (1, std::memory_order_acq_rel) + 1;
}

bool AnalysisInput::hasSettledSince (juce::uint32 mark, juce::uint64 framesCounted) const
{
    // Unsigned difference: right across the wrap of the mark counter.
    const auto resolved = marksResolved.load (std::memory_order_acquire);
    if ((juce::int32) (resolved - mark) < 0)
        return false;
    return framesCounted >= settledAtFrame.load (std::memory_order_relaxed)
           && framesCounted >= firstFrameAfterStart.load (std::memory_order_relaxed) + 2;
}

int AnalysisInput::indexOfChannel (int numInputChannels) const
{
    // The device passes its active channels only, in ascending order.
    const int chosen = channel.load (std::memory_order_relaxed);
    if (! activeInputs[chosen])
        return -1;
    int index = 0;
    for (int c = 0; c < chosen; ++c)
        if (activeInputs[c])
            ++index;
    return index < numInputChannels ? index : -1;
}

void AnalysisInput::resolvePitchChangeMark (int numSamples)
{
    const auto requested = marksRequested.load (std::memory_order_acquire);
    if (requested == marksResolved.load (std::memory_order_relaxed))
        return;

    // This block began after the mark, but its samples were taken before it
    // began; the device holds back its input latency; one more block covers
    // the message's way to the machine. The first hop that starts after all
    // of that is the first clean one, and the estimate of the second clean
    // frame is the first that compares clean with clean.
    const juce::int64 unclean = (juce::int64) samplesInHop.load (std::memory_order_relaxed) + inputLatencySamples
                                + 2 * (juce::int64) numSamples;
    const auto hopsToSkip = (juce::uint64) ((unclean + hopSize - 1) / hopSize);
    settledAtFrame.store (numFrames.load (std::memory_order_relaxed) + hopsToSkip + 2, std::memory_order_relaxed);
    marksResolved.store (requested, std::memory_order_release);
}

void AnalysisInput::audioDeviceIOCallbackWithContext (const float* const* inputChannelData,
                                                      int numInputChannels,
                                                      float* const* outputChannelData,
                                                      int numOutputChannels,
                                                      int numSamples,
                                                      const juce::AudioIODeviceCallbackContext& context)
{
    const int index = inputChannelData != nullptr ? indexOfChannel (numInputChannels) : -1;
    const float* chosen[1] = { index >= 0 ? inputChannelData[index] : nullptr };
    const bool heard = chosen[0] != nullptr && numSamples > 0;

    if (heard)
        resolvePitchChangeMark (numSamples);

    // The analysis also silences the outputs, so it runs even when deaf.
    analysis->audioDeviceIOCallbackWithContext (heard ? chosen : nullptr, heard ? 1 : 0, outputChannelData,
                                                numOutputChannels, numSamples, context);
    if (! heard)
        return;
    numBlocksHeard.fetch_add (1, std::memory_order_relaxed);

    auto filled = samplesInHop.load (std::memory_order_relaxed);
    juce::uint64 completed = 0;
    for (int offset = 0; offset < numSamples;)
    {
        const int count = juce::jmin (numSamples - offset, hopSize - filled);
        const auto range = juce::FloatVectorOperations::findMinAndMax (chosen[0] + offset, count);
        hopPeak = juce::jmax (hopPeak, -range.getStart(), range.getEnd());
        offset += count;
        filled += count;
        if (filled == hopSize)
        {
            lastFramePeak.store (hopPeak, std::memory_order_relaxed);
            hopPeak = 0.0f;
            filled = 0;
            ++completed;
        }
    }
    samplesInHop.store (filled, std::memory_order_relaxed);
    if (completed > 0)
        numFrames.fetch_add (completed, std::memory_order_release);
}

void AnalysisInput::audioDeviceAboutToStart (juce::AudioIODevice* device)
{
    analysis->audioDeviceAboutToStart (device);
    if (device != nullptr)
    {
        activeInputs = device->getActiveInputChannels();
        inputLatencySamples = juce::jmax (0, device->getInputLatencyInSamples());
    }
    samplesInHop.store (0, std::memory_order_relaxed);
    hopPeak = 0.0f;
    firstFrameAfterStart.store (numFrames.load (std::memory_order_relaxed), std::memory_order_relaxed);
}

void AnalysisInput::audioDeviceStopped()
{
    analysis->audioDeviceStopped();
}

void AnalysisInput::audioDeviceError (const juce::String& errorMessage)
{
    analysis->audioDeviceError (errorMessage);
}

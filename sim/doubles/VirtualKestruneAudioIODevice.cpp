#include "VirtualKestruneAudioIODevice.h"

#include <cmath>

VirtualKestruneAudioIODevice::VirtualKestruneAudioIODevice (std::shared_ptr<VirtualKestrune> machineToRender,
                                                            SimulatedClock* clockToAdvance)
    : juce::AudioIODevice (deviceName, typeName), machine (std::move (machineToRender)), clock (clockToAdvance)
{
    jassert (machine != nullptr);
}

VirtualKestruneAudioIODevice::~VirtualKestruneAudioIODevice()
{
    close();
}

juce::String VirtualKestruneAudioIODevice::open (const juce::BigInteger& inputChannels, const juce::BigInteger&,
                                                 double newSampleRate, int newBufferSize)
{
    close();
    lastError.clear();

    if (! getAvailableSampleRates().contains (newSampleRate))
        lastError = "Unsupported sample rate: " + juce::String (newSampleRate);
    else if (! getAvailableBufferSizes().contains (newBufferSize))
        lastError = "Unsupported buffer size: " + juce::String (newBufferSize);
    if (lastError.isNotEmpty())
        return lastError;

    sampleRate = newSampleRate;
    bufferSize = newBufferSize;
    activeInputs.clear();
    activeInputs.setBit (0, inputChannels[0]);   // there is one input: the Synth Output
    block.setSize (1, bufferSize);
    samplesAtOpen = samplesRendered.load();
    microsAdvanced = 0;
    opened = true;
    return {};
}

void VirtualKestruneAudioIODevice::close()
{
    stop();
    opened = false;
}

void VirtualKestruneAudioIODevice::start (juce::AudioIODeviceCallback* newCallback)
{
    if (! opened || newCallback == nullptr)
        return;
    stop();

    newCallback->audioDeviceAboutToStart (this);

    const juce::ScopedLock sl (renderLock);
    callback = newCallback;
}

void VirtualKestruneAudioIODevice::stop()
{
    juce::AudioIODeviceCallback* stopped = nullptr;
    {
        const juce::ScopedLock sl (renderLock);
        stopped = callback.exchange (nullptr);
    }
    if (stopped != nullptr)
        stopped->audioDeviceStopped();
}

bool VirtualKestruneAudioIODevice::isPlaying()
{
    return callback.load() != nullptr;
}

void VirtualKestruneAudioIODevice::setInputLatency (int samples)
{
    latencyLine.assign ((size_t) juce::jmax (0, samples), 0.0f);
    latencyPosition = 0;
}

int VirtualKestruneAudioIODevice::renderBlocks (int numBlocks)
{
    const juce::ScopedLock sl (renderLock);
    int delivered = 0;
    for (; delivered < numBlocks && callback.load() != nullptr; ++delivered)
        renderOneBlock();
    return delivered;
}

void VirtualKestruneAudioIODevice::renderOneBlock()
{
    auto* const target = callback.load();
    if (target == nullptr)
        return;

    auto* samples = block.getWritePointer (0);
    machine->renderAudio (samples, bufferSize, sampleRate);
    if (! latencyLine.empty())
    {
        for (int i = 0; i < bufferSize; ++i)
        {
            std::swap (samples[i], latencyLine[latencyPosition]);
            latencyPosition = (latencyPosition + 1) % latencyLine.size();
        }
    }

    const float* inputs[1] = { samples };
    const auto numInputs = activeInputs[0] ? 1 : 0;
    target->audioDeviceIOCallbackWithContext (inputs, numInputs, nullptr, 0, bufferSize, {});

    const auto total = (samplesRendered += bufferSize);
    if (clock != nullptr)
    {
        // Derived from the sample count, so no rounding error piles up.
        const auto micros = (juce::uint64) std::llround ((double) (total - samplesAtOpen) * 1.0e6 / sampleRate);
        clock->advanceMicros (micros - microsAdvanced);
        microsAdvanced = micros;
    }

    if (onBlockRendered)
        onBlockRendered (total);
}

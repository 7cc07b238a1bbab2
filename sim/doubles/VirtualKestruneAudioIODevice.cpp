#include "VirtualKestruneAudioIODevice.h"

#include <cmath>

// Paces blocks by the wall clock, like a sound card's interrupt.
class VirtualKestruneAudioIODevice::RenderThread : public juce::Thread
{
public:
    explicit RenderThread (VirtualKestruneAudioIODevice& d) : juce::Thread ("Virtual Kestrune audio"), device (d) {}

    void run() override
    {
        const auto blockMs = 1000.0 * device.bufferSize / device.sampleRate;
        auto nextBlockMs = juce::Time::getMillisecondCounterHiRes();

        while (! threadShouldExit())
        {
            device.renderOneBlock();
            nextBlockMs += blockMs;
            const auto now = juce::Time::getMillisecondCounterHiRes();
            if (nextBlockMs < now - 10 * blockMs)
                nextBlockMs = now;   // fell far behind: do not try to catch up in a burst
            if (nextBlockMs > now)
                wait (juce::jmax (1, (int) (nextBlockMs - now)));
        }
    }

private:
    VirtualKestruneAudioIODevice& device;
};

VirtualKestruneAudioIODevice::VirtualKestruneAudioIODevice (std::shared_ptr<VirtualKestrune> machineToRender,
                                                            Clocking clockingMode, SimulatedClock* clockToAdvance)
    : juce::AudioIODevice (deviceName, typeName),
      machine (std::move (machineToRender)),
      clocking (clockingMode),
      clock (clockToAdvance)
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

    if (clocking == Clocking::manual)
    {
        const juce::ScopedLock sl (manualLock);
        callback = newCallback;
        return;
    }

    callback = newCallback;
    thread = std::make_unique<RenderThread> (*this);
    thread->startThread (juce::Thread::Priority::highest);
}

void VirtualKestruneAudioIODevice::stop()
{
    // The render thread is gone before the callback hears that the device
    // stopped, so the thread never needs a lock to read the callback.
    if (thread != nullptr)
    {
        thread->stopThread (2000);
        thread.reset();
    }

    juce::AudioIODeviceCallback* stopped = nullptr;
    {
        const juce::ScopedLock sl (manualLock);
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
    jassert (clocking == Clocking::manual);
    const juce::ScopedLock sl (manualLock);
    int delivered = 0;
    for (; delivered < numBlocks && callback.load() != nullptr; ++delivered)
        renderOneBlock();
    return delivered;
}

int VirtualKestruneAudioIODevice::renderMilliseconds (double ms)
{
    const auto blocks = (int) std::ceil (ms * sampleRate / (1000.0 * bufferSize) - 1.0e-9);
    return renderBlocks (juce::jmax (0, blocks));
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

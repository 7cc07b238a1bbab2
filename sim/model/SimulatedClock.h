#pragma once

#include "core/MillisecondClock.h"

#include <atomic>
#include <cmath>

// A millisecond counter that moves only when told to: the audio double
// advances it as it renders, so that everything reading it sees the time of
// the audio rendered so far, however fast that runs.
class SimulatedClock : public MillisecondClock
{
public:
    explicit SimulatedClock (juce::uint32 startMs = 1000) : micros ((juce::uint64) startMs * 1000) {}

    juce::uint32 getMillisecondCounter() const override
    {
        return (juce::uint32) (micros.load() / 1000);
    }

    void advanceMs (double ms) { micros += (juce::uint64) std::llround (ms * 1000.0); }
    void advanceMicros (juce::uint64 us) { micros += us; }

private:
    std::atomic<juce::uint64> micros;
};

#pragma once

#include "core/MillisecondClock.h"

#include <juce_events/juce_events.h>

#include <functional>

// Quit waits, within a bound, for the machine to confirm what is being
// written to it (the stored table going back after a calibration, a new
// calibration being stored), so that the utility does not leave it holding
// values of its own; the bound keeps a silent machine from holding the quit.
class QuitAfterWrites : public juce::Timer
{
public:
    static constexpr int pollIntervalMs = 50;
    // Three rounds of a whole table, twice (a failed write, then the restore).
    static constexpr juce::uint32 limitMs = 6000;

    QuitAfterWrites (std::function<bool()> writing, std::function<void()> quit,
                     MillisecondClock& clock = MillisecondClock::system());

    // Polled by the timer; public so that tests can step it.
    void timerCallback() override;

private:
    std::function<bool()> writing;
    std::function<void()> quit;
    MillisecondClock& clock;
    const juce::uint32 startMs;
    bool quitting = false;
};

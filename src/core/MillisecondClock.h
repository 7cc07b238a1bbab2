#pragma once

#include <juce_core/juce_core.h>

// The millisecond counter that time-outs read. Production code uses system();
// tests inject their own so that no test waits for a real time-out.
class MillisecondClock
{
public:
    virtual ~MillisecondClock() = default;

    virtual juce::uint32 getMillisecondCounter() const = 0;

    // The pause between paced device messages: juce::Thread::sleep. A clock
    // of a harness that runs faster than real time may move its time instead.
    virtual void pause (int milliseconds);

    // juce::Time::getMillisecondCounter()
    static MillisecondClock& system();
};

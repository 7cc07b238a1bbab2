#pragma once

#include "sim/model/SimulatedClock.h"

#include <functional>

// A simulated clock whose pauses between paced messages move its time on at
// once instead of sleeping; onPause, when set, sees each pause first.
class FastForwardClock : public SimulatedClock
{
public:
    using SimulatedClock::SimulatedClock;

    void pause (int milliseconds) override
    {
        if (onPause)
            onPause (milliseconds);
        advanceMs (milliseconds);
    }

    std::function<void (int milliseconds)> onPause;
};

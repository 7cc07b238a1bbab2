#include "MillisecondClock.h"

namespace
{
class SystemMillisecondClock final : public MillisecondClock
{
public:
    juce::uint32 getMillisecondCounter() const override { return juce::Time::getMillisecondCounter(); }
};
} // namespace

void MillisecondClock::pause (int milliseconds)
{
    juce::Thread::sleep (milliseconds);
}

MillisecondClock& MillisecondClock::system()
{
    static SystemMillisecondClock clock;
    return clock;
}

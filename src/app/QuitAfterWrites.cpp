#include "QuitAfterWrites.h"

QuitAfterWrites::QuitAfterWrites (std::function<bool()> isWriting, std::function<void()> quitNow, MillisecondClock& clockToUse)
    : writing (std::move (isWriting)), quit (std::move (quitNow)), clock (clockToUse), startMs (clock.getMillisecondCounter())
{
    startTimer (pollIntervalMs);
}

void QuitAfterWrites::timerCallback()
{
    if (quitting || (writing() && clock.getMillisecondCounter() - startMs < limitMs))
        return;
    quitting = true;
    stopTimer();
    quit();
}

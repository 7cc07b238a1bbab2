#include "FirmwareStreaming.h"

namespace firmwaretest
{
void streamImage (SimulatedClock& clock, TuneKestruneEngine& engine, FirmwareSysexSender& sender,
                 const std::function<void (int)>& afterTick)
{
    clock.advanceMs (FirmwareSysexSender::deviceWaitMs);
    sender.timerCallback();   // the wait is over: progress 0
    // The sender is gone once the transfer ends: nothing touches it then.
    for (int i = 0; i < 5000 && engine.isUpdatingFirmware() && ! engine.isWaitingForFirmwareVerdict(); ++i)
    {
        clock.advanceMs (FirmwareTransfer::packetIntervalMs);
        sender.timerCallback();
        if (afterTick)
            afterTick (i);
    }
}
} // namespace firmwaretest

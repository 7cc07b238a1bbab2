#if defined(__GNUC__) && ! defined(__clang__) && __GNUC__ >= 12
// Optimised builds of GCC 12 take juce::ListenerList's iterator, which the list
// remembers only while a call runs, for a dangling pointer. Set before the
// includes, because the warning points into the JUCE header.
#pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif

#include "FirmwareSysexSender.h"

#include "midi/DeviceMessages.h"

FirmwareSysexSender::FirmwareSysexSender (FirmwareSysexData& dataToSend,
                                          MidiManager::Ptr manager,
                                          Listener* listener,
                                          MillisecondClock& clockToUse)
    : data (&dataToSend), midiManager (std::move (manager)), clock (clockToUse)
{
    jassert (midiManager != nullptr);
    addListener (listener);
}

FirmwareSysexSender::~FirmwareSysexSender()
{
    stopTimer();
    listeners.clear();
    midiManager = nullptr;
}

void FirmwareSysexSender::addListener (Listener* listener)
{
    if (listener != nullptr)
        listeners.add (listener); // ListenerList ignores a listener already present
}

void FirmwareSysexSender::removeListener (Listener* listener)
{
    listeners.remove (listener);
}

void FirmwareSysexSender::start()
{
    const auto outputName = data->getOutputDeviceName();
    if (midiManager != nullptr)
        midiManager->openOutputDevice (outputName);

    nextPacket = 0;
    waitingForDevice = false;

    if (! data->getHeaderMessage().isEmpty())
    {
        waitingForDevice = true;
        headerSent = sendHeader();
        waitStartMs = clock.getMillisecondCounter();
    }

    data->setActive (true);
    reportStatus (statusStarted);
    startTimer (data->getPacketIntervalMs());
}

void FirmwareSysexSender::stop()
{
    stopTimer();
    data->setActive (false);
}

void FirmwareSysexSender::timerCallback()
{
    // A tick that was already queued when the transfer stopped or completed.
    if (! isTimerRunning())
        return;

    const auto outputName = data->getOutputDeviceName();

    // Listed is not enough: until the manager's poll has reopened a returning
    // port, a slice handed to it would reach nothing and be lost.
    if (midiManager == nullptr
        || ! midiManager->isOutputDeviceAvailable (outputName)
        || ! midiManager->isOutputDeviceOpen (outputName))
    {
        // A machine that goes away during the wait may come back without
        // having seen the request (a restart forgets it): ask again then.
        if (waitingForDevice)
            headerSent = false;
        reportStatus (statusDeviceOffline);
        return;
    }

    if (waitingForDevice && ! headerSent)
    {
        headerSent = sendHeader();
        waitStartMs = clock.getMillisecondCounter();
        reportStatus (statusWaitingForDevice);
        return;
    }

    if (waitingForDevice)
    {
        // Unsigned difference: right across the 32-bit counter's wrap.
        if ((juce::uint32) (clock.getMillisecondCounter() - waitStartMs) >= deviceWaitMs)
        {
            waitingForDevice = false;
            reportProgress (0.0);
        }
        else
        {
            reportStatus (statusWaitingForDevice);
        }
        return;
    }

    const auto numPackets = data->getNumPackets();
    if (nextPacket < numPackets)
    {
        // The timer makes up for a late tick with an early one; the machine
        // must never get two slices much closer than the interval.
        const auto now = clock.getMillisecondCounter();
        if (sliceSent && now - lastSliceMs < (juce::uint32) juce::jmax (0, data->getPacketIntervalMs() - 1))
            return;

        const auto slice = data->getPacket (nextPacket);
        // A port that refused the slice (its buffer full, the device going)
        // gets the same slice again on the next tick.
        if (midiManager->sendMessageToOutput (outputName, DeviceMessages::rawBytes (slice.begin(), slice.size())) == 0)
        {
            reportStatus (statusDeviceOffline);
            return;
        }
        sliceSent = true;
        lastSliceMs = now;
        const auto progress = (double) nextPacket / (double) numPackets;
        ++nextPacket;
        reportProgress (progress);
        return;
    }

    stopTimer();
    data->setActive (false);
    data->setComplete (true);
    reportProgress (1.0);
    reportStatus (statusCompleted);
}

bool FirmwareSysexSender::sendHeader()
{
    const auto header = data->getHeaderMessage();
    return midiManager != nullptr
           && midiManager->sendMessageToOutput (data->getOutputDeviceName(),
                                                DeviceMessages::rawBytes (header.begin(), header.size()))
                  > 0;
}

void FirmwareSysexSender::reportProgress (double progress)
{
    listeners.call ([this, progress] (Listener& l) { l.firmwareProgressChanged (this, progress); });
}

void FirmwareSysexSender::reportStatus (const juce::String& status)
{
    listeners.call ([this, &status] (Listener& l) { l.firmwareStatusChanged (this, status); });
}

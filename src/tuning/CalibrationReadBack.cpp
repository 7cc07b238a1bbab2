#include "CalibrationReadBack.h"

namespace
{
constexpr juce::uint64 bitOf (int note)
{
    return juce::uint64 { 1 } << note;
}

constexpr juce::uint64 calibratedNotes()
{
    juce::uint64 mask = 0;
    for (int note = DeviceMessages::firstCalibratedNote; note <= DeviceMessages::lastCalibratedNote; ++note)
        mask |= bitOf (note);
    return mask;
}
} // namespace

CalibrationReadBack::CalibrationReadBack (MidiManager::Ptr manager, MillisecondClock& clockToUse)
    : midiManager (std::move (manager)), clock (clockToUse)
{
    for (auto& value : values)
        value.store (0);
}

void CalibrationReadBack::start()
{
    outstanding.store (0);
    answered.store (0);
    nextRequest = firstRequestedNote;
    sendPaced();
}

void CalibrationReadBack::cancel()
{
    nextRequest = 0;
    outstanding.store (0);
}

void CalibrationReadBack::sendPaced()
{
    for (int pausedMs = 0; nextRequest != 0; ++nextRequest)
    {
        if (nextRequest > lastRequestedNote)
        {
            nextRequest = 0;
            return;
        }
        if (nextRequest != firstRequestedNote)
        {
            if (pausedMs + requestPauseMs > maxPausePerCallMs)
                return;
            clock.pause (requestPauseMs);
            pausedMs += requestPauseMs;
        }
        // Outstanding before it goes: the reply may come back at once. The
        // extra note past the table is asked for, but its answer is no value.
        lastRequestMs = clock.getMillisecondCounter();
        windowEndMs.store (lastRequestMs + replyWindowMs);
        if (nextRequest < (int) values.size())
            outstanding.fetch_or (bitOf (nextRequest));
        // A request no output took is no request: no reply may answer it.
        if (midiManager->sendMessageToAllOutputs (DeviceMessages::calibrationValueRequest (nextRequest)) == 0
            && nextRequest < (int) values.size())
        {
            outstanding.fetch_and (~bitOf (nextRequest));
            answered.fetch_and (~bitOf (nextRequest));
        }
    }
}

bool CalibrationReadBack::isComplete() const
{
    return (answered.load() & calibratedNotes()) == calibratedNotes();
}

bool CalibrationReadBack::hasGivenUp() const
{
    return ! isSending() && ! isComplete() && clock.getMillisecondCounter() - lastRequestMs >= replyWindowMs;
}

bool CalibrationReadBack::takeReply (int note, juce::uint16 value)
{
    if (! juce::isPositiveAndBelow (note, (int) values.size()))
        return false;
    if ((juce::int32) (clock.getMillisecondCounter() - windowEndMs.load()) > 0)
        return false;
    // Once each: whoever clears the bit owns the reply.
    if ((outstanding.fetch_and (~bitOf (note)) & bitOf (note)) == 0)
        return false;
    values[(size_t) note].store (value);
    answered.fetch_or (bitOf (note), std::memory_order_release);
    return true;
}

std::optional<juce::uint16> CalibrationReadBack::valueOf (int note) const
{
    if (! juce::isPositiveAndBelow (note, (int) values.size())
        || (answered.load (std::memory_order_acquire) & bitOf (note)) == 0)
        return std::nullopt;
    return values[(size_t) note].load();
}

#include "CalibrationWriter.h"

#include "midi/DeviceMessages.h"

namespace
{
constexpr juce::uint64 bitOf (int note)
{
    return juce::uint64 { 1 } << note;
}
} // namespace

CalibrationWriter::CalibrationWriter (MidiManager::Ptr manager, MillisecondClock& clockToUse)
    : midiManager (std::move (manager)), clock (clockToUse)
{
    for (auto& reply : replies)
        reply.store (0);
}

CalibrationWriter::~CalibrationWriter() = default;

bool CalibrationWriter::start (const Values& valuesToWrite, Done whenDone)
{
    if (busy)
        return false;

    juce::uint64 notes = 0;
    for (size_t note = 0; note < valuesToWrite.size(); ++note)
        if (valuesToWrite[note].has_value())
            notes |= bitOf ((int) note);
    if (notes == 0)
        return false;

    values = valuesToWrite;
    done = std::move (whenDone);
    busy = true;
    round = 0;
    writeAndAsk (notes);
    finishRoundIfAnswered();
    return true;
}

void CalibrationWriter::cancel()
{
    awaited.store (0);
    busy = false;
    phase = Phase::waiting;
    toSend = 0;
    done = nullptr;
}

bool CalibrationWriter::takeReply (int note, juce::uint16 value)
{
    if (! juce::isPositiveAndBelow (note, (int) replies.size()) || (awaited.load() & bitOf (note)) == 0)
        return false;
    replies[(size_t) note].store (replyReceived | value);
    awaited.fetch_and (~bitOf (note));
    return true;
}

void CalibrationWriter::tick()
{
    if (! busy)
        return;
    if (phase != Phase::waiting)
        sendPaced();
    if (phase == Phase::waiting && (awaited.load() == 0 || clock.getMillisecondCounter() - askedAtMs >= replyWaitMs))
        finishRound();
}

void CalibrationWriter::writeAndAsk (juce::uint64 notes)
{
    roundNotes = notes;
    toSend = notes;
    phase = Phase::writing;
    sendPaced();
}

void CalibrationWriter::sendPaced()
{
    // The first message of a call follows the previous one by a tick at least.
    int pausedMs = 0;
    int pauseBeforeNext = 0;
    while (phase != Phase::waiting)
    {
        if (toSend == 0)
        {
            if (phase == Phase::asking)
            {
                phase = Phase::waiting;
                askedAtMs = clock.getMillisecondCounter();
                return;
            }
            phase = Phase::asking;
            toSend = roundNotes;
            for (int note = 0; note < (int) values.size(); ++note)
                if ((roundNotes & bitOf (note)) != 0)
                    replies[(size_t) note].store (0);
            // Awaited before asking: a reply may come back before the next request goes.
            awaited.store (roundNotes);
            continue;
        }

        if (pauseBeforeNext > 0)
        {
            if (pausedMs + pauseBeforeNext > maxPausePerCallMs)
                return;
            clock.pause (pauseBeforeNext);
            pausedMs += pauseBeforeNext;
        }

        int note = 0;
        while ((toSend & bitOf (note)) == 0)
            ++note;
        toSend &= ~bitOf (note);
        if (phase == Phase::writing)
        {
            midiManager->sendMessageToAllOutputs (DeviceMessages::calibrationValueWrite (note, *values[(size_t) note]));
            pauseBeforeNext = writePauseMs;
        }
        else
        {
            midiManager->sendMessageToAllOutputs (DeviceMessages::calibrationValueRequest (note));
            pauseBeforeNext = requestPauseMs;
        }
    }
}

void CalibrationWriter::finishRoundIfAnswered()
{
    while (busy && phase == Phase::waiting && awaited.load() == 0)
        finishRound();
}

void CalibrationWriter::finishRound()
{
    awaited.store (0);   // late replies of this round are not ours any more

    juce::uint64 differing = 0;
    juce::Array<int> notes;
    for (int note = 0; note < (int) values.size(); ++note)
    {
        if (! values[(size_t) note].has_value())
            continue;
        const auto reply = replies[(size_t) note].load();
        if (reply != (replyReceived | *values[(size_t) note]))
        {
            differing |= bitOf (note);
            notes.add (note);
        }
    }

    if (differing != 0 && ++round < maxRounds)
    {
        writeAndAsk (differing);
        return;   // the caller's loop or a later tick finishes this round
    }

    busy = false;
    Result result { differing == 0, notes };
    auto callback = std::move (done);
    done = nullptr;
    if (callback)
        callback (result);
}

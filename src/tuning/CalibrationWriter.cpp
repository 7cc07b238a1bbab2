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
    allNotes = notes;
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
    if (! juce::isPositiveAndBelow (note, (int) replies.size()))
        return false;
    // Once each: a repeat of the same answer is not ours.
    if ((awaited.fetch_and (~bitOf (note)) & bitOf (note)) == 0)
        return false;
    replies[(size_t) note].store (replyReceived | value);
    return true;
}

void CalibrationWriter::tick()
{
    if (! busy)
        return;
    if (phase != Phase::waiting)
        sendPaced();
    if (phase == Phase::waiting && (answeredAll() || clock.getMillisecondCounter() - askedAtMs >= replyWaitMs))
        finishRound();
}

void CalibrationWriter::writeAndAsk (juce::uint64 notes)
{
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
            // Every round asks for every value: a note confirmed in an earlier
            // round may have changed since (the machine restarted, another
            // program wrote), and only one whole round of answers proves the table.
            phase = Phase::asking;
            toSend = allNotes;
            for (auto& reply : replies)
                reply.store (0);
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
            // Awaited from its own request on: a reply before it (the echo of
            // our write on a thru port carries the same bytes) is not an answer.
            awaited.fetch_or (bitOf (note));
            if (midiManager->sendMessageToAllOutputs (DeviceMessages::calibrationValueRequest (note)) == 0)
            {
                // Never asked (no output took it): whatever comes back for
                // this note answers someone else, and may not confirm a write
                // that went nowhere either.
                awaited.fetch_and (~bitOf (note));
                replies[(size_t) note].store (0);
            }
            pauseBeforeNext = requestPauseMs;
        }
    }
}

void CalibrationWriter::finishRoundIfAnswered()
{
    while (busy && phase == Phase::waiting && answeredAll())
        finishRound();
}

bool CalibrationWriter::answeredAll() const
{
    for (int note = 0; note < (int) values.size(); ++note)
        if ((allNotes & bitOf (note)) != 0 && (replies[(size_t) note].load() & replyReceived) == 0)
            return false;
    return true;
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

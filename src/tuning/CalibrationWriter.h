#pragma once

#include "core/MillisecondClock.h"
#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"

#include <array>
#include <atomic>
#include <functional>
#include <optional>

// Writes a calibration to the machine and makes sure the machine holds it
// before anything is stored: the messages carry no acknowledgement, and a
// value lost on the way would otherwise be committed as whatever the machine
// held. After the writes (3 ms apart) it asks for every value it wrote
// (2 ms apart), compares each reply with what was sent, writes again what
// differs or did not answer, and asks for every value again: at most two more
// rounds. Only a round in which every value came back as written confirms
// the table; the caller commits only a confirmed table.
//
// The paced messages go out a few at a time, on start and on each tick, so
// that the message thread never waits long between two of its events.
//
// Message thread, but for takeReply, which the MIDI input thread calls.
class CalibrationWriter
{
public:
    static constexpr int maxRounds = 3;
    // Replies come back within milliseconds; a round gives up on the missing
    // ones after this long.
    static constexpr juce::uint32 replyWaitMs = 500;
    static constexpr int writePauseMs = 3;
    static constexpr int requestPauseMs = 2;
    // The pauses one call may take; the rest follow on later ticks. A few
    // milliseconds: the message thread sleeps through them, and a busy
    // machine stretches every sleep.
    static constexpr int maxPausePerCallMs = 6;

    // Index = MIDI note; notes without a value are neither written nor asked for.
    using Values = std::array<std::optional<juce::uint16>, DeviceMessages::lastCalibratedNote + 1>;

    struct Result
    {
        bool confirmed = false;
        // Notes whose value the machine did not confirm after the last round.
        juce::Array<int> unconfirmedNotes;
    };
    using Done = std::function<void (const Result&)>;

    CalibrationWriter (MidiManager::Ptr midiManager, MillisecondClock& clock);
    ~CalibrationWriter();

    // Begins to write and ask back; `done` is called when the machine has
    // confirmed every value or the rounds are used up, from a later tick (or
    // from start itself when everything went out and came back at once).
    // Refused (false) while a write is in progress.
    bool start (const Values& values, Done done);
    bool isBusy() const { return busy; }
    // Drops a write in progress without a word.
    void cancel();

    // A reply to a request of ours: taken and true while this writer waits
    // for that note's value; false otherwise, for the caller to handle.
    bool takeReply (int note, juce::uint16 value);

    // Sends the next paced messages; ends the wait for replies once all are
    // in or the time is up.
    void tick();

private:
    enum class Phase { writing, asking, waiting };

    void writeAndAsk (juce::uint64 notes);
    void sendPaced();
    void finishRoundIfAnswered();
    void finishRound();
    bool answeredAll() const;

    MidiManager::Ptr midiManager;
    MillisecondClock& clock;
    Values values {};
    Done done;
    bool busy = false;
    int round = 0;
    Phase phase = Phase::waiting;
    juce::uint64 allNotes = 0;
    juce::uint64 toSend = 0;   // of the current phase
    juce::uint32 askedAtMs = 0;

    // Per note: 0 while no reply came, otherwise replyReceived | value.
    static constexpr juce::uint32 replyReceived = 0x10000;
    std::array<std::atomic<juce::uint32>, DeviceMessages::lastCalibratedNote + 1> replies {};
    std::atomic<juce::uint64> awaited { 0 };

    JUCE_DECLARE_NON_COPYABLE (CalibrationWriter)
};

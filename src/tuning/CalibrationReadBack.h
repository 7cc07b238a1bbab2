#pragma once

#include "core/MillisecondClock.h"
#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "tuning/CalibrationWriter.h"

#include <array>
#include <atomic>
#include <optional>

// Reads the machine's calibration back: one request per note 24 to 64, paced
// on the message thread, and the replies to them. A reply counts only as the
// answer to a request of this read-back that is still outstanding, once, and
// within a while of the request; anything else (a late reply, a repeat, the
// echo of one of our own writes on a thru or loopback port, which carries
// the reply's bytes) is left for the caller to ignore.
//
// Message thread, but for takeReply, which the MIDI input thread calls.
class CalibrationReadBack
{
public:
    static constexpr int firstRequestedNote = DeviceMessages::firstCalibratedNote;
    // One more than the calibrated notes, as the machine has always been asked.
    static constexpr int lastRequestedNote = DeviceMessages::lastCalibratedNote + 1;
    static constexpr int requestPauseMs = CalibrationWriter::requestPauseMs;
    // The pauses one call may take on the message thread; the rest follow later.
    static constexpr int maxPausePerCallMs = CalibrationWriter::maxPausePerCallMs;
    // Replies come back within milliseconds; later than this they are not ours.
    static constexpr juce::uint32 replyWindowMs = 1000;

    CalibrationReadBack (MidiManager::Ptr midiManager, MillisecondClock& clock);

    // Forgets every earlier reply and sends the first requests.
    void start();
    // No request goes out any more and no reply is taken.
    void cancel();
    // Sends the next paced requests, if any are left.
    void sendPaced();
    bool isSending() const { return nextRequest != 0; }

    // Every calibrated note answered.
    bool isComplete() const;
    // Every request sent and the wait for the missing replies is over.
    bool hasGivenUp() const;

    // MIDI input thread: true when the reply answered an outstanding request.
    bool takeReply (int note, juce::uint16 value);

    // The value the machine answered for a calibrated note in this read-back.
    std::optional<juce::uint16> valueOf (int note) const;

private:
    MidiManager::Ptr midiManager;
    MillisecondClock& clock;
    int nextRequest = 0;                 // 0 when none is left to send
    juce::uint32 lastRequestMs = 0;
    std::atomic<juce::uint64> outstanding { 0 };
    std::atomic<juce::uint64> answered { 0 };
    std::atomic<juce::uint32> windowEndMs { 0 };
    std::array<std::atomic<juce::uint16>, DeviceMessages::lastCalibratedNote + 1> values {}; // index = MIDI note

    JUCE_DECLARE_NON_COPYABLE (CalibrationReadBack)
};

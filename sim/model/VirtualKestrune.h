#pragma once

#include "BassVoice.h"
#include "FirmwareStreamChecker.h"
#include "MachineState.h"
#include "midi/DeviceMessages.h"
#include "midi/MidiStreamParser.h"
#include "PitchCurve.h"
#include "core/MillisecondClock.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

// The virtual Kestrune: the drum machine's bass voice, its calibration tables
// and its firmware loader, behaving like the analog instrument it stands in for.
//
// Control side (receive, tick, setters, getters): any thread, serialised by an
// internal mutex. Audio side (renderAudio): one audio thread; it never takes
// the mutex, allocates or blocks.
//
// Protocol:
// - IdentityRequest: an IdentityReply with the firmware version.
// - CalibrationValueRequest for notes 24 to 63: one CalibrationValueReply with
//   the value the note holds now (its working value: the stored one until a
//   write changes it); other notes get no reply unless answerAllNotes.
// - CalibrationValueWrite: sets the note's working value (what it sounds at).
// - CalibrationCommit: the working table becomes the stored table.
// - FirmwareUpdateRequest: the bytes that follow are a firmware stream, checked
//   against the image layout; when whole and valid the new version is reported
//   from then on and the machine restarts; otherwise its boot loader reports
//   0.00 until a valid image arrives.
// - NoteOn/NoteOff on channel 1: the monophonic bass voice, notes 24 to 63.
class VirtualKestrune
{
public:
    struct Options
    {
        MachineState initialState = MachineState::factory();
        // The firmware the utility carries, until an update is accepted.
        juce::String firmwareVersion = juce::String (DeviceMessages::latestFirmwareVersion, 2);
        juce::String firmwareVersionAfterUpdate = juce::String (DeviceMessages::latestFirmwareVersion, 2);
        double knobSemitones = 0.0;
        juce::int64 seed = 0;
        bool answerAllNotes = false;
        // A lone update request with no image after it is given up after this long.
        juce::uint32 firmwareImageWaitMs = 30000;
        // A stream that stops for this long is cut short.
        juce::uint32 firmwareStreamIdleMs = 5000;
        // A slow unit: a note sounds the value written to it before the last
        // one, until the next write brings the last one in.
        bool soundsOneWriteLate = false;
    };

    // Receives event lines without a timestamp, e.g. "RX F0 7E 00 06 01 F7",
    // "TX ...", "STATE commit", "FIRMWARE accepted bytes=... records=...".
    // Called with the machine's mutex held: it must not call back into the machine.
    using LogSink = std::function<void (const juce::String& line)>;
    // Called, mutex held, whenever the stored state changes (commit, update).
    using StateSink = std::function<void (const MachineState& stored)>;

    static constexpr const char* bootLoaderVersion = "0.00";

    VirtualKestrune();
    explicit VirtualKestrune (Options options, MillisecondClock& clock = MillisecondClock::system());

    // Takes a run of bytes as the MIDI port delivers them (a whole message, a
    // firmware slice, any fragment) and returns what the machine sends back.
    std::vector<juce::MidiMessage> receive (const juce::uint8* data, int numBytes);
    std::vector<juce::MidiMessage> receive (const juce::MidiMessage& message);

    // Lets time-outs fire: a firmware stream that has stopped.
    void tick();

    void setLogSink (LogSink sink);
    void setStateSink (StateSink sink);

    void setKnob (double semitones);   // clamped to the knob's range
    double getKnob() const;
    void setMuted (bool shouldBeMuted);
    void setAnswerAllNotes (bool shouldAnswer);
    // The next n calibration value replies are not sent (identity replies are).
    void dropNextReplies (int n);
    // The next n calibration value writes are lost on the way (not applied).
    void dropNextWrites (int n);
    // Power cycle: the working table reloads the stored one, the voice stops,
    // an unfinished firmware stream is forgotten.
    void restart();

    juce::uint16 getWorkingValue (int note) const;
    juce::uint16 getStoredValue (int note) const;
    MachineState getStoredState() const;
    juce::String getFirmwareVersion() const;
    bool isReceivingFirmware() const;
    std::optional<FirmwareStreamChecker::Report> getLastFirmwareReport() const;
    int getSoundingNote() const;            // -1 when silent
    double getSoundingFrequency() const;    // without jitter; 0 when silent
    const PitchCurve& getPitchCurve() const { return curve; }

    // The voice's output, overwriting numSamples samples.
    void renderAudio (float* dest, int numSamples, double sampleRate) noexcept;

    // "1.05" -> digits 0 1 0 5 as the identity reply carries them; false for
    // anything but one or two digits, a point, one or two digits.
    static bool versionDigits (const juce::String& version, std::array<juce::uint8, 4>& digits);

private:
    using Lock = std::lock_guard<std::mutex>;

    void handleMessage (const std::vector<juce::uint8>& message, std::vector<juce::MidiMessage>& replies);
    void handleNoteOn (int note);
    void handleNoteOff (int note);
    void startFirmwareStream();
    // imageBegan: more than the request arrived, so the old application is gone.
    void finishFirmwareStream (bool imageBegan);
    void send (const juce::MidiMessage& reply, std::vector<juce::MidiMessage>& replies, bool droppable);
    void restartLocked();
    MachineState getStoredStateLocked() const;
    void updateVoice();
    void log (const juce::String& line) const;
    juce::String reportedVersion() const;

    static juce::String hex (const juce::uint8* data, int numBytes);

    const Options options;
    MillisecondClock& clock;
    const PitchCurve curve;
    BassVoice voice;

    mutable std::mutex mutex;
    std::array<juce::uint16, 128> working {}, stored {};
    std::array<juce::uint16, 128> sounding {};   // what each note sounds at: the working value, or one write behind
    juce::String installedFirmwareVersion;
    double knob = 0.0;
    bool answerAllNotes = false;
    int repliesToDrop = 0;
    int writesToDrop = 0;
    int soundingNote = -1;

    MidiStreamParser parser;
    bool receivingFirmware = false;
    FirmwareStreamChecker firmware;
    juce::uint32 lastFirmwareByteMs = 0;
    std::optional<FirmwareStreamChecker::Report> lastFirmwareReport;

    LogSink logSink;
    StateSink stateSink;
};

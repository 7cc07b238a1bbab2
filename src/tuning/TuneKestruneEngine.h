#pragma once

#include "core/MillisecondClock.h"
#include "firmware/FirmwareSysexData.h"
#include "firmware/FirmwareSysexSender.h"
#include "midi/MidiManager.h"
#include "tuning/AnalysisInput.h"
#include "tuning/CalibrationWriter.h"
#include "tuning/DetectTuneAudioCallback.h"
#include "tuning/TuningCheck.h"
#include "tuning/TuningResult.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_events/juce_events.h>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class FindFirmwareVersion;

// Runs a calibration of the machine's bass voice: reads the stored values
// back, holds the reference note while the user sets the Tune knob, then lets
// a tuning algorithm find the value for each of the notes 24 to 63 and writes
// the result. Also polls the firmware version and drives firmware transfers.
//
// Everything runs on the message thread except midiMessageReceived (MIDI input
// thread), which stores replies and raises firmwareVersionReceived there.
class TuneKestruneEngine : public juce::Timer,
                           public juce::ReferenceCountedObject,
                           public MidiManager::Listener,
                           public FirmwareSysexSender::Listener
{
public:
    using Ptr = juce::ReferenceCountedObjectPtr<TuneKestruneEngine>;

    static constexpr int firstNote = 24;
    static constexpr int lastNote = 63;
    static constexpr int numNotes = 40;
    static constexpr int tableSize = 64;

    static constexpr int tickIntervalMs = 15;
    static constexpr int numSettleTicks = 11;
    static constexpr juce::uint32 noteTimeoutMs = 120001;
    // A run ends as failed when the machine's channel has been heard and then
    // no block of it has arrived for this long (device gone, cable pulled).
    static constexpr juce::uint32 audioStallTimeoutMs = 1000;
    static constexpr int firmwareQueryIntervalMs = 500;
    static constexpr juce::uint16 lowestPitchValue = 0xFFFF;

    static constexpr const char* sweepTuneName = "Sweep Tune";
    static constexpr const char* fineTuneName = "Fine Tune";

    // Which whole calibration a confirmed write carried.
    enum class CalibrationWriteKind
    {
        newCalibration,   // a completed run's results
        undo,             // the values read back before the run
        restoreDefault,
        load              // a table loaded from a report
    };

    struct CalibrationWriteOutcome
    {
        CalibrationWriteKind kind = CalibrationWriteKind::newCalibration;
        // Confirmed by the machine and committed.
        bool stored = false;
        // Values the machine did not confirm; empty when all were confirmed
        // but nothing could be stored (the reference note's value unknown).
        juce::Array<int> unconfirmedNotes;
    };

    // All callbacks but firmwareVersionReceived arrive on the message thread.
    // firmwareVersionReceived arrives on the MIDI input thread and must not
    // wait for the message thread (post to it instead).
    class StatusListener
    {
    public:
        virtual ~StatusListener() = default;
        virtual void frequencyDetected (float hz) = 0;
        virtual void tuningNoteChanged (int note) = 0;
        virtual void tuningStarted() = 0;
        virtual void tuningStopped() = 0;
        virtual void tuningFailed() = 0;
        virtual void tuningProgressChanged (double progress) = 0;
        virtual void firmwareVersionReceived (double version) = 0;
        // A whole calibration was written and checked, and stored or not.
        virtual void calibrationWriteFinished (const CalibrationWriteOutcome&) {}
    };

    // A strategy that varies the value of the reference note until it sounds
    // each target note in turn. Runs only inside the engine tick, under the
    // engine's algorithm lock.
    class TuningAlgorithm
    {
    public:
        TuningAlgorithm (MidiManager::Ptr midiManager, TuneKestruneEngine& engine);
        virtual ~TuningAlgorithm();

        virtual void processFrequency (float hz) = 0;
        virtual double getProgress() = 0;

        int getCurrentNote() const { return currentNote; }
        juce::uint16 getCurrentValue() const { return currentValue; }
        const std::array<TuningResult, tableSize>& getResults() const { return results; }

        static float targetFrequency (int note);

    protected:
        // Stores the value and writes it to the reference note.
        void sendValue (juce::uint16 value);
        // Restarts the note time-out and announces currentNote.
        void startNote();
        // (currentNote - 24) / 40: 0 at the first note, 0.975 at the last.
        double progressOfCurrentNote() const;
        // Records (currentValue, hz) for currentNote and moves to the next note.
        void acceptNote (float hz);
        // After the last note: ends the run. The algorithm is destroyed inside
        // this call, so the caller must return at once without touching members.
        void finish();

        // Marks the moment a value that changes the pitch went out; true once
        // the estimate handed to processFrequency comes from frames made wholly
        // of audio that followed the mark. Never true without audio analysis.
        juce::uint32 markPitchChange();
        bool hasSettledSince (juce::uint32 mark) const;

        juce::uint16 currentValue = 0;
        MidiManager::Ptr midiManager;
        std::array<TuningResult, tableSize> results {};
        juce::uint8 currentNote = firstNote;
        // Not counted: the engine owns the algorithm, and a counted reference
        // back would keep both alive for ever once nobody else holds the
        // engine (a quit during a run). The engine aborts a run when destroyed.
        TuneKestruneEngine& engine;

    private:
        JUCE_DECLARE_NON_COPYABLE (TuningAlgorithm)
    };

    // Values read back from the machine, index = MIDI note. Written on the MIDI
    // input thread while replies arrive, read on the message thread.
    using CalibrationTable = std::array<std::atomic<juce::uint16>, tableSize>;

    TuneKestruneEngine (juce::AudioDeviceManager& deviceManager,
                        MidiManager::Ptr midiManager,
                        MillisecondClock& clock = MillisecondClock::system());
    ~TuneKestruneEngine() override;

    void addStatusListener (StatusListener* listener);
    void removeStatusListener (StatusListener* listener);

    // The audio input channel that carries the machine (0 = the first). Only
    // this channel is analysed, whatever else the device has active.
    void setAnalysedInputChannel (int channel);
    int getAnalysedInputChannel() const;

    static juce::StringArray getTuningAlgorithmNames();
    juce::String getTuningAlgorithm() const;
    void setTuningAlgorithm (const juce::String& name);

    // Installs the audio analysis and, once a firmware above 1.0 is known,
    // reads the stored calibration back and sounds the reference note at its
    // lowest pitch. False when no usable firmware version is known, and,
    // doing nothing at all, while a firmware transfer exists.
    bool startTuningCalibration();
    // Starts the chosen algorithm once every note 24 to 63 has been read back
    // since startTuningCalibration. False otherwise, when a run exists, or
    // (doing nothing) while a firmware transfer exists.
    bool beginTuningRun();
    // Stops everything and writes back the values that were read back.
    void abortTuning();
    bool isTuning() const;
    // From a successful startTuningCalibration until the run or the knob step
    // ends: the knob step and the run.
    bool isCalibrating() const;
    // Called by an algorithm after its last note, from inside the tick.
    void finishTuning();

    // Writes back the values read from the machine, only those actually read
    // back, without asking them back; true when it wrote any.
    bool undoTuning();
    // Stores the machine's working table. Refused (nothing sent, false) while
    // the reference note may still hold a value of the engine's own: the
    // lowest-pitch value of the knob step or a step of a run, which a commit
    // would make the machine's calibration for good.
    bool commitCalibration();

    // Whole calibrations written, confirmed value by value and only then
    // committed; the outcome goes to calibrationWriteFinished. Each returns
    // false, sending nothing, when there is nothing to write or the engine
    // is busy (a calibration, a firmware transfer, another write).
    bool undoTuningAndStore();
    bool restoreDefaultCalibration();
    // Values for notes 24 to 63, in order.
    bool loadCalibration (const std::array<juce::uint16, numNotes>& values);
    bool sendNewCalibration();
    bool isWritingCalibration() const;

    bool hasTuningResults() const;
    // Appends the report of the last completed run. False when the file is a
    // directory, not writable, or any piece could not be appended.
    bool writeCalibrationReport (const juce::File& file);

    void queryFirmwareVersion();
    // False unless exactly one output is open (the version query stops all
    // the same), and, doing nothing, while a calibration is in progress.
    bool startFirmwareUpdate (FirmwareSysexSender::Listener* listener);
    void cancelFirmwareUpdate();
    bool isUpdatingFirmware() const;

    // Measures how every note 24 to 63 sounds now (TuningCheck), telling the
    // listener after each tick. False, sending nothing, while a calibration,
    // a firmware transfer or another check exists. Calibrations and firmware
    // transfers are refused while it runs.
    bool startTuningCheck (TuningCheck::Listener* listener);
    // Ends a running check at once, releasing its note; its listener hears
    // nothing more.
    void stopTuningCheck();
    bool isCheckingTuning() const;

    // Status as last published.
    double getFirmwareVersion() const;
    float getDetectedFrequency() const;
    int getCurrentNote() const;
    double getProgress() const;
    const std::array<TuningResult, tableSize>& getTuningResults() const { return tuningResults; }
    juce::uint16 getDeviceCalibrationValue (int note) const;
    bool isFirmwareQueryRunning() const;

    // The 15 ms tick; public so that tests can step it.
    void timerCallback() override;

    void midiMessageReceived (MidiInputPort* source, const juce::MidiMessage& message) override;
    void midiInputDeviceRemoved (const juce::String& deviceName) override;
    void midiOutputDeviceRemoved (const juce::String& deviceName) override;

    void firmwareProgressChanged (FirmwareSysexSender* sender, double progress) override;
    void firmwareStatusChanged (FirmwareSysexSender* sender, const juce::String& status) override;

private:
    struct TuningStatus
    {
        explicit TuningStatus (juce::ListenerList<StatusListener>& l) : listeners (l) {}

        float detectedFrequency = 0.0f;
        std::atomic<bool> tuning { false };
        juce::uint8 currentNote = 0;
        std::atomic<double> firmwareVersion { 0.0 };
        double progress = 0.0;
        juce::String algorithmName { sweepTuneName };
        juce::uint32 noteStartTime = 0;
        juce::ListenerList<StatusListener>& listeners;
    };

    // True when at least one open port took the message.
    bool sendCalibrationValue (int note, juce::uint16 value);
    bool startConfirmedWrite (CalibrationWriteKind kind, const CalibrationWriter::Values& values);
    void confirmedWriteFinished (CalibrationWriteKind kind, bool includesReferenceNote,
                                 const CalibrationWriter::Result& result);
    bool isBusy() const;
    // Writes a value for every note 24 to 63 that has one, paced; a write of
    // the reference note that went out gives it back a value that may be stored.
    bool writeCalibration (const std::function<std::optional<juce::uint16> (int note)>& valueFor);
    void requestCalibrationValue (int note);
    // The next paced read-back requests; after the last, holds the reference note.
    void sendReadBackRequests();
    void sendAllNotesOff();
    void attachAudioCallback();
    void detachAudioCallback();
    // Aborts the run, then tells the listeners that it failed.
    void failRun();
    // A MIDI port of the machine vanished.
    void machineWentAway();
    void stepTuningCheck();
    bool allNotesReplied() const;

    DetectTuneAudioCallback::Ptr audioCallback;
    AnalysisInput::Ptr analysisInput;
    MidiManager::Ptr midiManager;
    juce::AudioDeviceManager& deviceManager;
    MillisecondClock& clock;
    CalibrationWriter writer;
    std::unique_ptr<FirmwareSysexData> firmwareData;
    std::unique_ptr<FirmwareSysexSender> firmwareSender;
    // A sender that reported completion; destroyed later, never inside its own callback.
    std::unique_ptr<FirmwareSysexSender> retiredFirmwareSender;
    CalibrationTable deviceCalibration {};
    // Bit n: a reply for note n arrived since the last startTuningCalibration.
    std::atomic<juce::uint64> notesReplied { 0 };
    // Bit n: deviceCalibration[n] holds the machine's stored value for the
    // current calibration; only these are ever written back.
    std::atomic<juce::uint64> notesReadBack { 0 };
    // The machine's working value of the reference note may be one of ours
    // (the knob step's lowest pitch, a run's step) from the moment one goes
    // out until a value that may be stored (read back, default, a run's
    // result) has gone out for it on an open port. Commits are refused meanwhile.
    std::atomic<bool> referenceNoteAltered { false };
    std::atomic<bool> ignoreReferenceNoteReplies { false };
    std::array<TuningResult, tableSize> tuningResults {};
    std::atomic<int> numCalibrationReplies { 0 };
    bool hasResults = false;
    std::unique_ptr<TuningAlgorithm> algorithm;
    juce::CriticalSection algorithmLock;
    juce::ListenerList<StatusListener> statusListeners;
    // The same listeners for the MIDI input thread: its lock is never held
    // by the message thread while it calls out.
    juce::ListenerList<StatusListener, juce::Array<StatusListener*, juce::CriticalSection>> versionListeners;
    std::unique_ptr<TuningStatus> status;
    std::unique_ptr<FindFirmwareVersion> firmwareVersionFinder;
    std::atomic<int> analysedInputChannel { 0 };
    int settleTicks = 0;
    // The next read-back request to send, 0 when all went out.
    int nextReadBackRequest = 0;
    // Read by the MIDI input thread.
    std::atomic<bool> listening { false };
    juce::uint64 blocksHeard = 0;
    juce::uint32 lastBlockHeardMs = 0;
    juce::uint64 framesBeforeEstimate = 0;
    std::unique_ptr<TuningCheck> tuningCheck;
    TuningCheck::Listener* tuningCheckListener = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TuneKestruneEngine)
};

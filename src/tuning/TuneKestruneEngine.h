#pragma once

#include "core/MillisecondClock.h"
#include "firmware/FirmwareSysexSender.h"
#include "firmware/FirmwareTransfer.h"
#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "tuning/AnalysisInput.h"
#include "tuning/CalibrationJournal.h"
#include "tuning/CalibrationReadBack.h"
#include "tuning/CalibrationWriter.h"
#include "tuning/DetectTuneAudioCallback.h"
#include "tuning/TuningCheck.h"
#include "tuning/CalibrationTableRule.h"
#include "tuning/StoredCalibration.h"
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
// The owner the windows talk to; each job is a class of its own: the
// read-back (CalibrationReadBack), verified writes (CalibrationWriter), what
// the machine stores and the journal (StoredCalibration), firmware transfers
// (FirmwareTransfer), the tuning check (TuningCheck). Whatever ends a
// calibration, the machine is given back its stored table, verified.
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

    static constexpr int firstNote = DeviceMessages::firstCalibratedNote;
    static constexpr int lastNote = DeviceMessages::lastCalibratedNote;
    static constexpr int numNotes = DeviceMessages::numCalibratedNotes;
    // Tables indexed by MIDI note.
    static constexpr int tableSize = lastNote + 1;

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
    static constexpr const char* preciseTuneName = "Precise Tune";

    // Which whole calibration a confirmed write carried.
    enum class CalibrationWriteKind
    {
        newCalibration,   // a completed run's results
        undo,             // the values read back before the run
        restoreDefault,
        load,             // a table loaded from a report
        restore           // the stored table written back after a calibration ended or a write failed
    };

    struct CalibrationWriteOutcome
    {
        CalibrationWriteKind kind = CalibrationWriteKind::newCalibration;
        // Confirmed by the machine and committed.
        bool stored = false;
        // Values the machine did not confirm; empty when all were confirmed
        // but nothing could be stored (the reference note's value unknown).
        juce::Array<int> unconfirmedNotes;
        // Not stored: whether the machine's working table is back to what it
        // stores (its stored values written back and confirmed); otherwise
        // these notes may hold values of ours until it is switched off and on.
        bool machineAsFound = false;
        juce::Array<int> notesLeftChanged;
        // The table written, notes 24 to 63.
        CalibrationTableRule::Values values {};
        // Why a run's table was not written at all; empty otherwise.
        juce::String problem;
    };

    // What Undo Tuning writes back: the table read before the last run, or
    // before the last Load, that was stored.
    enum class UndoSource
    {
        none,
        run,
        load
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
        // Every note answered a read-back (a calibration's start, or before a Load).
        virtual void calibrationReadBack (const CalibrationTableRule::Values&) {}
        // What the machine has shown since the last slice of a firmware update.
        virtual void firmwareUpdateVerdict (FirmwareTransfer::Verdict) {}
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

    // journal: where the stored table is recorded while the machine holds
    // values of ours; none in most tests.
    TuneKestruneEngine (juce::AudioDeviceManager& deviceManager,
                        MidiManager::Ptr midiManager,
                        MillisecondClock& clock = MillisecondClock::system(),
                        std::shared_ptr<CalibrationJournal> journal = {});
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
    // reads the stored calibration back; once every note has answered, it
    // sounds the reference note at its lowest pitch (the knob step). When the
    // machine does not answer every request, the calibration ends with
    // tuningStopped and tuningFailed, nothing changed. False when no usable
    // firmware version is known, and, doing nothing at all, while anything
    // else talks to the machine (isBusy).
    bool startTuningCalibration();
    // Starts the chosen algorithm in the knob step. False before it, when a
    // run exists, or (doing nothing) while a firmware transfer exists.
    bool beginTuningRun();
    // Ends the knob step or the run; the values the machine stores are
    // written back, verified, and committed only once confirmed (the outcome
    // follows as a calibrationWriteFinished of kind restore).
    void abortTuning();
    bool isTuning() const;
    // From a successful startTuningCalibration until the run or the knob step
    // ends: the read-back, the knob step and the run.
    bool isCalibrating() const;
    // Called by an algorithm after its last note, from inside the tick.
    void finishTuning();

    // Writes back the values read from the machine at the last start, without
    // asking them back, so that no commit may follow; true when it wrote any.
    bool undoTuning();
    // Stores the machine's working table. Refused (nothing sent, false) while
    // any note may hold a value of the engine's own that the machine has not
    // confirmed: a commit would make it the machine's calibration for good.
    bool commitCalibration();

    // Whole calibrations written, confirmed value by value and only then
    // committed; the outcome goes to calibrationWriteFinished. Each returns
    // false, sending nothing, when there is nothing to write or the engine
    // is busy (a calibration, a firmware transfer, another write).
    bool undoTuningAndStore();
    UndoSource getUndoSource() const { return undoSource; }
    bool restoreDefaultCalibration();
    // Reads the machine's table back with no note sounding (before a Load);
    // `done` gets it, or nothing when the machine did not answer every note.
    // False, sending nothing, while busy or before a usable firmware is known.
    using ReadDone = std::function<void (std::optional<CalibrationTableRule::Values>)>;
    bool readCalibration (ReadDone done);
    // Values for notes 24 to 63, in order. Once stored, Undo writes back the
    // table the last readCalibration returned.
    bool loadCalibration (const std::array<juce::uint16, numNotes>& values);
    bool sendNewCalibration();
    bool isWritingCalibration() const;
    // A calibration, a firmware transfer, a write or a check talks to the
    // machine: nothing else may start.
    bool isBusy() const;

    // Start-up: reads the journal. An open entry means the utility ended
    // while the machine held values of its own; the table recorded there is
    // taken as what the machine stores, and no read-back replaces it.
    CalibrationJournal::Entry readJournal();
    // Some notes may hold values of ours the machine has not given back.
    bool hasUnrestoredChanges() const;
    // Writes the stored table back, verified, as soon as the machine answers
    // (at once when it already has); the outcome is of kind restore. False
    // when there is nothing to restore or no stored value is known.
    bool restoreStoredCalibration();
    // Quit: ends a calibration (its restore begins). True while a write must
    // still finish before the utility may go.
    bool prepareToQuit();

    bool hasTuningResults() const;
    // Appends the report of the last completed run. False when the file is a
    // directory, not writable, or any piece could not be appended.
    bool writeCalibrationReport (const juce::File& file);

    void queryFirmwareVersion();
    // False unless exactly one output is open (the version query stops all
    // the same), and, doing nothing, while busy. The update lasts until the
    // machine has shown whether it runs the new image (the listeners hear
    // firmwareUpdateVerdict) or it is cancelled; the engine is busy meanwhile.
    bool startFirmwareUpdate (FirmwareSysexSender::Listener* listener);
    void cancelFirmwareUpdate();
    bool isUpdatingFirmware() const;
    // The image went out; the machine has not yet shown whether it took it.
    bool isWaitingForFirmwareVerdict() const;
    juce::uint32 getFirmwareWaitMs() const { return firmwareTransfer.getWaitedMs(); }

    // Measures how every note 24 to 63 sounds now (TuningCheck), telling the
    // listener after each tick. False, sending nothing, while a calibration,
    // a firmware transfer or another check exists. Calibrations and firmware
    // transfers are refused while it runs.
    bool startTuningCheck (TuningCheck::Listener* listener);
    // Ends a running check at once, releasing its note; its listener hears
    // nothing more.
    void stopTuningCheck();
    bool isCheckingTuning() const;

    // Calibration replies that answered no request of ours, since construction.
    int getNumIgnoredReplies() const { return ignoredReplies.load(); }

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
    enum class Phase
    {
        idle,
        readingBack,
        journaling,   // read back; the journal's open entry is being written
        knobStep,
        running
    };

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
    bool sendCommit();
    bool startConfirmedWrite (CalibrationWriteKind kind, const CalibrationWriter::Values& values);
    // Starts the write waiting for the journal once the stored table may be
    // altered, or at once when `now`; the message thread then waits for it.
    void startPendingWrite (bool now);
    void startWrite (CalibrationWriteKind kind, const CalibrationWriter::Values& values,
                     std::optional<CalibrationWriteOutcome> failedWrite);
    void confirmedWriteFinished (CalibrationWriteKind kind, const CalibrationWriter::Values& values,
                                 const CalibrationWriter::Result& result,
                                 std::optional<CalibrationWriteOutcome> failedWrite);
    // Writes the stored table back when notes may hold ours; `failedWrite`
    // is reported once the machine is back as found, or could not be.
    void restoreMachine (std::optional<CalibrationWriteOutcome> failedWrite);
    void report (const CalibrationWriteOutcome& outcome);
    // The read-back is in: the stored table is known; the reference note sounds.
    void prepareKnobStep();
    void enterKnobStep();
    // A read-back with every note answered: what the machine stores, as far as
    // it holds nothing of ours; told to the listeners.
    CalibrationTableRule::Values takeReadBack();
    void stepReadForLoad();
    // Leaves the calibration phases, silences the reference note.
    void endCalibration();
    void sendAllNotesOff();
    void attachAudioCallback();
    void detachAudioCallback();
    // Aborts the run, then tells the listeners that it failed.
    void failRun();
    // A MIDI port of the machine vanished.
    void machineWentAway();
    void stepTuningCheck();
    // Hands what the machine showed since the last tick to a firmware update.
    void weighFirmwareEvidence();
    juce::Array<int> alteredNoteList() const;

    DetectTuneAudioCallback::Ptr audioCallback;
    AnalysisInput::Ptr analysisInput;
    MidiManager::Ptr midiManager;
    juce::AudioDeviceManager& deviceManager;
    MillisecondClock& clock;
    CalibrationWriter writer;
    CalibrationReadBack readBack;
    StoredCalibration storedCalibration;
    FirmwareTransfer firmwareTransfer;
    // The machine's stored values as read back at the last start (or, for
    // notes that held ours then, as known from before): Undo writes them,
    // Fine Tune starts from them. Read on the message thread only.
    CalibrationTable deviceCalibration {};
    bool hasReadBack = false;
    // A write from the menu whose journal entry is still being written.
    struct PendingWrite
    {
        CalibrationWriteKind kind;
        CalibrationWriter::Values values;
    };
    std::optional<PendingWrite> pendingWrite;
    // A read-back for a Load is in progress: `readDone` gets it.
    ReadDone readDone;
    CalibrationTableRule::Values readBeforeLoad {};
    CalibrationTableRule::Values undoTable {};
    UndoSource undoSource = UndoSource::none;
    std::array<TuningResult, tableSize> tuningResults {};
    bool hasResults = false;
    Phase phase = Phase::idle;
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
    // Versions answered on the MIDI input thread, for the firmware update's
    // evidence on the next tick.
    juce::CriticalSection versionsLock;
    juce::Array<double> versionsToWeigh;
    std::atomic<bool> versionKnown { false };
    // A firmware update is waiting for the machine: keep asking its version
    // even once it answers a usable one.
    std::atomic<bool> watchingFirmware { false };
    // A restore that could not reach the machine is tried again once it
    // answers an identity request.
    bool restoreWhenMachineAnswers = false;
    std::atomic<bool> machineAnswered { false };
    std::atomic<int> ignoredReplies { 0 };
    juce::uint64 blocksHeard = 0;
    juce::uint32 lastBlockHeardMs = 0;
    juce::uint64 framesBeforeEstimate = 0;
    std::unique_ptr<TuningCheck> tuningCheck;
    TuningCheck::Listener* tuningCheckListener = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TuneKestruneEngine)
};

#include "TuneKestruneEngine.h"

#include "midi/FindFirmwareVersion.h"
#include "tuning/CalibrationReport.h"
#include "tuning/DefaultCalibration.h"
#include "tuning/GuitarPlayerTuningAlgorithm.h"
#include "tuning/PreciseTuningAlgorithm.h"
#include "tuning/SweepUpTuningAlgorithm.h"

namespace
{
constexpr int lastNoteOff = 126;
constexpr double minimumUsableFirmwareVersion = 1.0;

constexpr juce::uint64 noteBit (int note)
{
    return juce::uint64 { 1 } << note;
}
} // namespace

//==============================================================================
TuneKestruneEngine::TuningAlgorithm::TuningAlgorithm (MidiManager::Ptr manager, TuneKestruneEngine& owner)
    : midiManager (std::move (manager)), engine (owner)
{
}

TuneKestruneEngine::TuningAlgorithm::~TuningAlgorithm() = default;

double TuneKestruneEngine::TuningAlgorithm::progressOfCurrentNote() const
{
    return (currentNote - firstNote) / (double) numNotes;
}

float TuneKestruneEngine::TuningAlgorithm::targetFrequency (int note)
{
    return (float) juce::MidiMessage::getMidiNoteInHertz (note, 440.0);
}

void TuneKestruneEngine::TuningAlgorithm::sendValue (juce::uint16 value)
{
    currentValue = value;
    engine.storedCalibration.aboutToAlter (noteBit (firstNote));
    midiManager->sendMessageToAllOutputs (DeviceMessages::calibrationValueWrite (firstNote, value));
}

void TuneKestruneEngine::TuningAlgorithm::startNote()
{
    auto& status = *engine.status;
    status.noteStartTime = engine.clock.getMillisecondCounter();
    status.currentNote = currentNote;
    const int note = currentNote;
    engine.statusListeners.call ([note] (StatusListener& l) { l.tuningNoteChanged (note); });
}

void TuneKestruneEngine::TuningAlgorithm::acceptNote (float hz)
{
    results[currentNote] = { currentValue, hz };
    ++currentNote;
}

void TuneKestruneEngine::TuningAlgorithm::finish()
{
    // finishTuning destroys this object; keep what is needed on the stack.
    auto& owner = engine;
    owner.status->tuning = false;
    owner.statusListeners.call ([] (StatusListener& l) { l.tuningStopped(); });
    owner.finishTuning();
}

juce::uint32 TuneKestruneEngine::TuningAlgorithm::markPitchChange()
{
    return engine.analysisInput != nullptr ? engine.analysisInput->markPitchChange() : 0;
}

bool TuneKestruneEngine::TuningAlgorithm::hasSettledSince (juce::uint32 mark) const
{
    return engine.analysisInput != nullptr && engine.analysisInput->hasSettledSince (mark, engine.framesBeforeEstimate);
}


//==============================================================================
TuneKestruneEngine::TuneKestruneEngine (juce::AudioDeviceManager& manager, MidiManager::Ptr midi, MillisecondClock& clockToUse,
                                        std::shared_ptr<CalibrationJournal> journal)
    : midiManager (std::move (midi)),
      deviceManager (manager),
      clock (clockToUse),
      writer (midiManager, clockToUse),
      readBack (midiManager, clockToUse),
      storedCalibration (std::move (journal)),
      firmwareTransfer (
          midiManager, clockToUse, [this] { firmwareVersionFinder->startTimer (firmwareQueryIntervalMs); },
          [this] (FirmwareTransfer::Verdict verdict) {
              statusListeners.call ([verdict] (StatusListener& l) { l.firmwareUpdateVerdict (verdict); });
          })
{
    for (auto& entry : deviceCalibration)
        entry.store (0);
    status = std::make_unique<TuningStatus> (statusListeners);

    startTimer (tickIntervalMs);

    // The finder exists before the first reply can arrive.
    firmwareVersionFinder = std::make_unique<FindFirmwareVersion> (midiManager);
    midiManager->addListener (this);
    firmwareVersionFinder->startTimer (firmwareQueryIntervalMs);
}

TuneKestruneEngine::~TuneKestruneEngine()
{
    // A quit waits for the restore; a write still unfinished here is cut
    // short, and one still waiting for the journal never starts.
    pendingWrite.reset();
    writer.cancel();
    endCalibration();
    stopTuningCheck();
    detachAudioCallback();

    // Unconfirmed, so nothing is committed and the journal stays open: the
    // next start offers to write the stored table back, verified.
    if (storedCalibration.isAltered())
    {
        const auto stored = storedCalibration.getStoredValues();
        for (int note = firstNote; note <= lastNote; ++note)
        {
            if (stored[(size_t) note].has_value())
            {
                sendCalibrationValue (note, *stored[(size_t) note]);
                clock.pause (CalibrationWriter::writePauseMs);
            }
        }
    }
    sendAllNotesOff();

    // The manager may outlive the engine: no reply may reach it after this.
    midiManager->removeListener (this);
    firmwareVersionFinder = nullptr;
    algorithm = nullptr;
    firmwareTransfer.cancel();
    stopTimer();
    status = nullptr;
}

//==============================================================================
void TuneKestruneEngine::addStatusListener (StatusListener* listener)
{
    if (listener == nullptr)
        return;
    statusListeners.add (listener);
    versionListeners.add (listener);
}

void TuneKestruneEngine::removeStatusListener (StatusListener* listener)
{
    if (listener == nullptr)
        return;
    statusListeners.remove (listener);
    // Waits for a firmwareVersionReceived in progress on the MIDI thread.
    versionListeners.remove (listener);
}

void TuneKestruneEngine::setAnalysedInputChannel (int channel)
{
    analysedInputChannel.store (juce::jmax (0, channel));
    if (analysisInput != nullptr)
        analysisInput->setChannel (analysedInputChannel.load());
}

int TuneKestruneEngine::getAnalysedInputChannel() const
{
    return analysedInputChannel.load();
}

juce::StringArray TuneKestruneEngine::getTuningAlgorithmNames()
{
    return { sweepTuneName, fineTuneName, preciseTuneName };
}

juce::String TuneKestruneEngine::getTuningAlgorithm() const
{
    return status->algorithmName;
}

void TuneKestruneEngine::setTuningAlgorithm (const juce::String& name)
{
    status->algorithmName = name;
}

//==============================================================================
bool TuneKestruneEngine::startTuningCalibration()
{
    // Any message now would land inside the open firmware SysEx message,
    // among the replies of a write being checked, or change the pitch of a
    // note being checked.
    if (isBusy())
        return false;

    attachAudioCallback();

    firmwareVersionFinder->startTimer (firmwareQueryIntervalMs);

    if (! (status->firmwareVersion.load() > minimumUsableFirmwareVersion))
    {
        // Nothing to listen to: measurements from here would look like a
        // calibration's to the main window.
        detachAudioCallback();
        return false;
    }

    // Nothing changes on the machine until every note has answered: the
    // stored table is known (and journalled) before the first value of ours.
    phase = Phase::readingBack;
    settleTicks = 0;
    readBack.start();
    startTimer (tickIntervalMs);
    return true;
}

CalibrationTableRule::Values TuneKestruneEngine::takeReadBack()
{
    CalibrationWriter::Values values;
    for (int note = firstNote; note <= lastNote; ++note)
        values[(size_t) note] = readBack.valueOf (note);
    storedCalibration.takeReadBack (values);
    // A note that held ours when it answered is not its stored value.
    CalibrationTableRule::Values table {};
    for (int note = firstNote; note <= lastNote; ++note)
        table[(size_t) (note - firstNote)] = storedCalibration.storedValue (note).value_or (*values[(size_t) note]);
    statusListeners.call ([&table] (StatusListener& l) { l.calibrationReadBack (table); });
    return table;
}

void TuneKestruneEngine::prepareKnobStep()
{
    const auto table = takeReadBack();
    for (int note = firstNote; note <= lastNote; ++note)
        deviceCalibration[(size_t) note].store (table[(size_t) (note - firstNote)]);
    hasReadBack = true;

    // The journal's entry must be on disk before the note's first value goes;
    // the ticks wait for it instead of the message thread.
    phase = Phase::journaling;
    storedCalibration.aboutToAlterSoon (noteBit (firstNote), clock.getMillisecondCounter());
    if (storedCalibration.mayAlterNow (clock.getMillisecondCounter()))
        enterKnobStep();
}

void TuneKestruneEngine::enterKnobStep()
{
    phase = Phase::knobStep;
    settleTicks = 0;
    storedCalibration.aboutToAlter (noteBit (firstNote));   // waits for an entry not yet written
    sendCalibrationValue (firstNote, lowestPitchValue);
    midiManager->sendMessageToAllOutputs (DeviceMessages::noteOn (firstNote));
}

bool TuneKestruneEngine::beginTuningRun()
{
    if (phase == Phase::journaling)
        enterKnobStep();
    if (firmwareTransfer.isActive() || tuningCheck != nullptr || phase != Phase::knobStep || algorithm != nullptr)
        return false;

    storedCalibration.aboutToAlter (noteBit (firstNote));
    sendCalibrationValue (firstNote, lowestPitchValue);

    if (status->algorithmName == sweepTuneName)
        algorithm = std::make_unique<SweepUpTuningAlgorithm> (midiManager, *this);
    else if (status->algorithmName == preciseTuneName)
        algorithm = std::make_unique<PreciseTuningAlgorithm> (midiManager, *this, deviceCalibration);
    else
        algorithm = std::make_unique<GuitarPlayerTuningAlgorithm> (midiManager, *this, deviceCalibration);

    phase = Phase::running;
    status->tuning = true;
    statusListeners.call ([] (StatusListener& l) { l.tuningStarted(); });
    return true;
}

void TuneKestruneEngine::endCalibration()
{
    readBack.cancel();
    algorithm = nullptr;
    const bool noteSounded = phase == Phase::knobStep || phase == Phase::running;
    phase = Phase::idle;
    if (noteSounded)
        midiManager->sendMessageToAllOutputs (DeviceMessages::noteOff (firstNote));
    status->tuning = false;
}

void TuneKestruneEngine::abortTuning()
{
    stopTimer();
    endCalibration();
    statusListeners.call ([] (StatusListener& l) { l.tuningStopped(); });
    detachAudioCallback();
    restoreMachine (std::nullopt);
}

bool TuneKestruneEngine::isTuning() const
{
    return status->tuning;
}

bool TuneKestruneEngine::isCalibrating() const
{
    return phase != Phase::idle;
}

void TuneKestruneEngine::finishTuning()
{
    // Only the running algorithm's completion has results to write.
    if (algorithm == nullptr)
        return;

    stopTimer();
    phase = Phase::idle;
    tuningResults = algorithm->getResults();
    sendAllNotesOff();

    status->progress = 1.0;
    statusListeners.call ([] (StatusListener& l) { l.tuningProgressChanged (1.0); });

    algorithm = nullptr;
    hasResults = true;
    detachAudioCallback();

    // A table the utility would not load again is not stored either: the
    // run went wrong somewhere, and the machine gets its own table back.
    CalibrationTableRule::Values table {};
    for (int note = firstNote; note <= lastNote; ++note)
        table[(size_t) (note - firstNote)] = tuningResults[(size_t) note].value;
    if (const auto problem = CalibrationTableRule::problemWith (table); problem.isNotEmpty())
    {
        CalibrationWriteOutcome outcome { CalibrationWriteKind::newCalibration, false, {} };
        outcome.values = table;
        outcome.problem = problem;
        restoreMachine (outcome);
        return;
    }

    // Stored once the machine has confirmed every value; the outcome follows.
    sendNewCalibration();
}

//==============================================================================
bool TuneKestruneEngine::undoTuning()
{
    if (! hasReadBack)
        return false;
    for (int note = firstNote; note <= lastNote; ++note)
    {
        sendCalibrationValue (note, deviceCalibration[(size_t) note].load());
        clock.pause (CalibrationWriter::writePauseMs);
    }
    return true;
}

bool TuneKestruneEngine::commitCalibration()
{
    return ! storedCalibration.isAltered() && sendCommit();
}

bool TuneKestruneEngine::sendCommit()
{
    return midiManager->sendMessageToAllOutputs (DeviceMessages::calibrationCommit()) > 0;
}

bool TuneKestruneEngine::undoTuningAndStore()
{
    if (undoSource == UndoSource::none)
        return false;
    CalibrationWriter::Values values;
    for (int note = firstNote; note <= lastNote; ++note)
        values[(size_t) note] = undoTable[(size_t) (note - firstNote)];
    return startConfirmedWrite (CalibrationWriteKind::undo, values);
}

bool TuneKestruneEngine::readCalibration (ReadDone done)
{
    if (isBusy() || ! (status->firmwareVersion.load() > minimumUsableFirmwareVersion))
        return false;
    readDone = std::move (done);
    readBack.start();
    if (! isTimerRunning())
        startTimer (tickIntervalMs);
    return true;
}

void TuneKestruneEngine::stepReadForLoad()
{
    readBack.sendPaced();
    if (! readBack.isComplete() && ! readBack.hasGivenUp())
        return;
    // Idle again before the caller hears of it, so that it may load at once.
    auto done = std::move (readDone);
    readDone = nullptr;
    if (! readBack.isComplete())
    {
        readBack.cancel();
        done (std::nullopt);
        return;
    }
    readBeforeLoad = takeReadBack();
    done (readBeforeLoad);
}

bool TuneKestruneEngine::restoreDefaultCalibration()
{
    CalibrationWriter::Values values;
    for (int note = firstNote; note <= lastNote; ++note)
        values[(size_t) note] = defaultCalibration[(size_t) (note - firstNote)];
    return startConfirmedWrite (CalibrationWriteKind::restoreDefault, values);
}

bool TuneKestruneEngine::loadCalibration (const std::array<juce::uint16, numNotes>& loaded)
{
    CalibrationWriter::Values values;
    for (int note = firstNote; note <= lastNote; ++note)
        values[(size_t) note] = loaded[(size_t) (note - firstNote)];
    return startConfirmedWrite (CalibrationWriteKind::load, values);
}

bool TuneKestruneEngine::sendNewCalibration()
{
    CalibrationWriter::Values values;
    for (int note = firstNote; note <= lastNote; ++note)
        values[(size_t) note] = tuningResults[(size_t) note].value;
    return startConfirmedWrite (CalibrationWriteKind::newCalibration, values);
}

bool TuneKestruneEngine::isWritingCalibration() const
{
    return writer.isBusy() || pendingWrite.has_value();
}

bool TuneKestruneEngine::isBusy() const
{
    return isCalibrating() || firmwareTransfer.isActive() || isWritingCalibration() || tuningCheck != nullptr
           || readDone != nullptr;
}

bool TuneKestruneEngine::startConfirmedWrite (CalibrationWriteKind kind, const CalibrationWriter::Values& values)
{
    if (isBusy() || StoredCalibration::notesOf (values) == 0)
        return false;
    // Recorded before the first value goes: the machine may hold ours from
    // now. The ticks wait for the entry instead of the message thread.
    storedCalibration.aboutToAlterSoon (StoredCalibration::notesOf (values), clock.getMillisecondCounter());
    pendingWrite = PendingWrite { kind, values };
    if (! isTimerRunning())
        startTimer (tickIntervalMs);
    startPendingWrite (false);
    return true;
}

void TuneKestruneEngine::startPendingWrite (bool now)
{
    if (! pendingWrite.has_value())
        return;
    if (! now && ! storedCalibration.mayAlterNow (clock.getMillisecondCounter()))
        return;
    const auto write = *std::exchange (pendingWrite, std::nullopt);
    storedCalibration.aboutToAlter (StoredCalibration::notesOf (write.values));   // waits for an entry not yet written
    startWrite (write.kind, write.values, std::nullopt);
}

void TuneKestruneEngine::startWrite (CalibrationWriteKind kind, const CalibrationWriter::Values& values,
                                     std::optional<CalibrationWriteOutcome> failedWrite)
{
    // The tick paces the messages and ends the wait for the replies.
    if (! isTimerRunning())
        startTimer (tickIntervalMs);
    writer.start (values, [this, kind, values, failedWrite] (const CalibrationWriter::Result& result) {
        confirmedWriteFinished (kind, values, result, failedWrite);
    });
}

void TuneKestruneEngine::confirmedWriteFinished (CalibrationWriteKind kind, const CalibrationWriter::Values& values,
                                                 const CalibrationWriter::Result& result,
                                                 std::optional<CalibrationWriteOutcome> failedWrite)
{
    bool stored = false;
    if (result.confirmed)
    {
        // Stored only when no note outside this table may hold ours.
        if (storedCalibration.mayStore (values) && sendCommit())
        {
            storedCalibration.stored (values);
            stored = true;
        }
        else
        {
            storedCalibration.matched (values);
        }
    }

    if (kind == CalibrationWriteKind::restore)
    {
        // Tried again when the machine next answers, while notes hold ours.
        restoreWhenMachineAnswers = storedCalibration.isAltered();
        machineAnswered = false;
        CalibrationWriteOutcome outcome = failedWrite.value_or (CalibrationWriteOutcome { kind, stored, result.unconfirmedNotes });
        outcome.machineAsFound = ! storedCalibration.isAltered();
        outcome.notesLeftChanged = alteredNoteList();
        report (outcome);
        return;
    }

    CalibrationWriteOutcome outcome { kind, stored, result.unconfirmedNotes };
    for (int note = firstNote; note <= lastNote; ++note)
        outcome.values[(size_t) (note - firstNote)] = values[(size_t) note].value_or (0);
    if (stored)
    {
        // Undo gives back what the machine stored before this table.
        if (kind == CalibrationWriteKind::newCalibration)
        {
            for (int note = firstNote; note <= lastNote; ++note)
                undoTable[(size_t) (note - firstNote)] = deviceCalibration[(size_t) note].load();
            undoSource = UndoSource::run;
        }
        else if (kind == CalibrationWriteKind::load)
        {
            undoTable = readBeforeLoad;
            undoSource = UndoSource::load;
        }
        outcome.machineAsFound = true;
        report (outcome);
        return;
    }
    // Whatever of it reached the machine goes back to the stored values first.
    restoreMachine (outcome);
}

void TuneKestruneEngine::restoreMachine (std::optional<CalibrationWriteOutcome> failedWrite)
{
    const auto stored = storedCalibration.getStoredValues();
    if (! storedCalibration.isAltered() || StoredCalibration::notesOf (stored) == 0 || writer.isBusy())
    {
        if (failedWrite.has_value())
        {
            failedWrite->machineAsFound = ! storedCalibration.isAltered();
            failedWrite->notesLeftChanged = alteredNoteList();
            report (*failedWrite);
        }
        return;
    }
    restoreWhenMachineAnswers = false;
    startWrite (CalibrationWriteKind::restore, stored, std::move (failedWrite));
}

void TuneKestruneEngine::report (const CalibrationWriteOutcome& outcome)
{
    statusListeners.call ([&outcome] (StatusListener& l) { l.calibrationWriteFinished (outcome); });
}

juce::Array<int> TuneKestruneEngine::alteredNoteList() const
{
    juce::Array<int> notes;
    for (int note = firstNote; note <= lastNote; ++note)
        if ((storedCalibration.getAlteredNotes() & noteBit (note)) != 0)
            notes.add (note);
    return notes;
}

CalibrationJournal::Entry TuneKestruneEngine::readJournal()
{
    return storedCalibration.readJournal();
}

bool TuneKestruneEngine::hasUnrestoredChanges() const
{
    return storedCalibration.isAltered();
}

bool TuneKestruneEngine::restoreStoredCalibration()
{
    if (! storedCalibration.isAltered() || StoredCalibration::notesOf (storedCalibration.getStoredValues()) == 0)
        return false;
    // The machine's answer starts it, from the tick.
    restoreWhenMachineAnswers = true;
    machineAnswered = false;
    firmwareVersionFinder->startTimer (firmwareQueryIntervalMs);
    if (! isTimerRunning())
        startTimer (tickIntervalMs);
    return true;
}

bool TuneKestruneEngine::prepareToQuit()
{
    if (isCalibrating())
        abortTuning();
    startPendingWrite (true);
    return writer.isBusy();
}

bool TuneKestruneEngine::hasTuningResults() const
{
    return ! status->tuning && ! firmwareTransfer.isActive() && ! isWritingCalibration() && hasResults;
}

bool TuneKestruneEngine::writeCalibrationReport (const juce::File& file)
{
    return CalibrationReport::append (file, tuningResults.data(), (int) tuningResults.size(),
                                      juce::Time::getCurrentTime());
}

//==============================================================================
void TuneKestruneEngine::queryFirmwareVersion()
{
    firmwareVersionFinder->startTimer (firmwareQueryIntervalMs);
}

bool TuneKestruneEngine::startFirmwareUpdate (FirmwareSysexSender::Listener* listener)
{
    if (isBusy())
        return false;

    const auto outputs = midiManager->getOpenOutputDeviceNames();
    firmwareVersionFinder->stopTimer();
    if (outputs.size() != 1)
        return false;

    {
        const juce::ScopedLock sl (versionsLock);
        versionsToWeigh.clearQuick();
    }
    watchingFirmware = true;
    firmwareTransfer.start (listener, outputs[0],
                            versionKnown.load() ? std::optional<double> (status->firmwareVersion.load()) : std::nullopt);
    // The tick weighs what the machine shows.
    if (! isTimerRunning())
        startTimer (tickIntervalMs);
    return true;
}

void TuneKestruneEngine::cancelFirmwareUpdate()
{
    firmwareTransfer.cancel();
    watchingFirmware = false;
}

bool TuneKestruneEngine::isWaitingForFirmwareVerdict() const
{
    return firmwareTransfer.isActive() && ! firmwareTransfer.isStreaming();
}

void TuneKestruneEngine::weighFirmwareEvidence()
{
    juce::Array<double> versions;
    {
        const juce::ScopedLock sl (versionsLock);
        versions.swapWith (versionsToWeigh);
    }
    if (! firmwareTransfer.isActive())
        return;
    firmwareTransfer.tick();
    for (auto version : versions)
        firmwareTransfer.versionReported (version);
    if (! firmwareTransfer.isActive())
        watchingFirmware = false;
}

bool TuneKestruneEngine::isUpdatingFirmware() const
{
    return firmwareTransfer.isActive();
}

// The transfer listens to its sender itself.
void TuneKestruneEngine::firmwareProgressChanged (FirmwareSysexSender*, double) {}
void TuneKestruneEngine::firmwareStatusChanged (FirmwareSysexSender*, const juce::String&) {}

//==============================================================================
bool TuneKestruneEngine::startTuningCheck (TuningCheck::Listener* listener)
{
    if (isBusy())
        return false;

    attachAudioCallback();
    tuningCheck = std::make_unique<TuningCheck> (midiManager, analysisInput, audioCallback, clock);
    tuningCheckListener = listener;
    tuningCheck->start();
    startTimer (tickIntervalMs);
    return true;
}

void TuneKestruneEngine::stopTuningCheck()
{
    if (tuningCheck == nullptr)
        return;
    tuningCheck->stop();
    tuningCheck = nullptr;
    tuningCheckListener = nullptr;
    detachAudioCallback();
}

bool TuneKestruneEngine::isCheckingTuning() const
{
    return tuningCheck != nullptr;
}

void TuneKestruneEngine::stepTuningCheck()
{
    const auto measuredBefore = tuningCheck->getRows().size();
    const auto state = tuningCheck->step();
    auto* listener = tuningCheckListener;

    if (state == TuningCheck::State::measuring)
    {
        // The listener may stop the check: nothing of it is touched afterwards.
        if (listener != nullptr && tuningCheck->getRows().size() != measuredBefore)
            listener->tuningCheckProgressChanged (tuningCheck->getCurrentNote(), tuningCheck->getProgress());
        return;
    }

    // Idle again before the listener hears of it, so that it may start anything.
    const std::unique_ptr<TuningCheck> ended = std::move (tuningCheck);
    tuningCheckListener = nullptr;
    detachAudioCallback();
    if (listener == nullptr)
        return;
    if (state == TuningCheck::State::finished)
        listener->tuningCheckFinished (ended->getRows());
    else
        listener->tuningCheckFailed (state);
}

//==============================================================================
double TuneKestruneEngine::getFirmwareVersion() const
{
    return status->firmwareVersion.load();
}

float TuneKestruneEngine::getDetectedFrequency() const
{
    return status->detectedFrequency;
}

int TuneKestruneEngine::getCurrentNote() const
{
    return status->currentNote;
}

double TuneKestruneEngine::getProgress() const
{
    return status->progress;
}

juce::uint16 TuneKestruneEngine::getDeviceCalibrationValue (int note) const
{
    return juce::isPositiveAndBelow (note, tableSize) ? deviceCalibration[(size_t) note].load() : juce::uint16 { 0 };
}

bool TuneKestruneEngine::isFirmwareQueryRunning() const
{
    return firmwareVersionFinder->isTimerRunning();
}

//==============================================================================
void TuneKestruneEngine::timerCallback()
{
    // A listener or the algorithm may drop the last other reference.
    const Ptr keepAlive (this);

    startPendingWrite (false);
    writer.tick();
    weighFirmwareEvidence();
    if (restoreWhenMachineAnswers && machineAnswered.load() && ! isBusy())
    {
        // Back after going away: the note-off of the stop may never have arrived.
        midiManager->sendMessageToAllOutputs (DeviceMessages::noteOff (firstNote));
        restoreMachine (std::nullopt);
    }

    if (readDone != nullptr)
    {
        stepReadForLoad();
        return;
    }

    if (phase == Phase::readingBack)
    {
        // Nothing to hear before the reference note sounds.
        readBack.sendPaced();
        if (readBack.isComplete())
            prepareKnobStep();
        else if (readBack.hasGivenUp())
            failRun();
        return;
    }

    if (phase == Phase::journaling)
    {
        if (storedCalibration.mayAlterNow (clock.getMillisecondCounter()))
            enterKnobStep();
        return;
    }

    if (audioCallback == nullptr)
        return;

    // A check publishes no frequencyDetected: the main window would take its
    // measurements for a calibration's and watch for them to stop.
    if (tuningCheck != nullptr)
    {
        stepTuningCheck();
        return;
    }

    // The count first: a frame it includes has its estimate published already.
    framesBeforeEstimate = analysisInput != nullptr ? analysisInput->getNumFrames() : 0;
    const float hz = audioCallback->getFrequency();

    if (settleTicks < numSettleTicks)
    {
        ++settleTicks;
    }
    else
    {
        status->detectedFrequency = hz;
        statusListeners.call ([hz] (StatusListener& l) { l.frequencyDetected (hz); });
    }

    const auto now = clock.getMillisecondCounter();
    if (const auto heard = analysisInput != nullptr ? analysisInput->getNumBlocksHeard() : 0; heard != blocksHeard)
    {
        blocksHeard = heard;
        lastBlockHeardMs = now;
    }

    if (! status->tuning)
        return;

    // Without audio the algorithm would step on a stale estimate until the
    // note time-out; a run whose audio has stopped has failed.
    if (blocksHeard > 0 && now - lastBlockHeardMs >= audioStallTimeoutMs)
    {
        failRun();
        return;
    }

    if (algorithm != nullptr)
    {
        const juce::ScopedLock sl (algorithmLock);
        algorithm->processFrequency (hz);
        if (algorithm != nullptr)
        {
            const double progress = algorithm->getProgress();
            status->progress = progress;
            statusListeners.call ([progress] (StatusListener& l) { l.tuningProgressChanged (progress); });
        }
    }

    if (status->tuning && clock.getMillisecondCounter() - status->noteStartTime >= noteTimeoutMs)
        failRun();
}

void TuneKestruneEngine::failRun()
{
    abortTuning();
    statusListeners.call ([] (StatusListener& l) { l.tuningFailed(); });
}

void TuneKestruneEngine::midiMessageReceived (MidiInputPort*, const juce::MidiMessage& message)
{
    if (! message.isSysEx())
        return;

    if (const auto reply = DeviceMessages::parseCalibrationValueReply (message))
    {
        // Only an answer to a request of ours counts, once: a late or repeated
        // reply, or the echo of our own write, is no value read back.
        if (! writer.takeReply (reply->note, reply->value) && ! readBack.takeReply (reply->note, reply->value))
        {
            // A flood of them (a thru port, a confused machine) logs its first few only.
            if (ignoredReplies.fetch_add (1) < 8)
                juce::Logger::writeToLog ("Calibration reply ignored: note " + juce::String (reply->note) + ", value "
                                          + juce::String (reply->value) + ": it answers no request of ours.");
        }
        return;
    }

    if (const auto version = DeviceMessages::parseIdentityReplyVersion (message))
    {
        const double value = *version;
        status->firmwareVersion.store (value);
        versionKnown = true;
        if (watchingFirmware.load())
        {
            const juce::ScopedLock sl (versionsLock);
            // A machine answering far faster than the tick weighs adds nothing new.
            if (versionsToWeigh.size() < 64)
                versionsToWeigh.add (value);
        }
        versionListeners.call ([value] (StatusListener& l) { l.firmwareVersionReceived (value); });
        if (value > minimumUsableFirmwareVersion)
        {
            machineAnswered = true;
            if (! watchingFirmware.load())
                firmwareVersionFinder->stopTimer();
        }
    }
}

void TuneKestruneEngine::midiInputDeviceRemoved (const juce::String&)
{
    machineWentAway();
}

void TuneKestruneEngine::midiOutputDeviceRemoved (const juce::String&)
{
    machineWentAway();
}

void TuneKestruneEngine::machineWentAway()
{
    machineAnswered = false;
    // A calibration cannot go on; its restore is tried again once the
    // machine answers.
    if (isCalibrating())
    {
        // The run's own watchdog reports a run that stops this way; the knob
        // step has none, and its window would just close.
        const bool inKnobStep = ! isTuning();
        abortTuning();
        if (inKnobStep)
            statusListeners.call ([] (StatusListener& l) { l.tuningFailed(); });
    }
    // A machine restarting after an update takes its ports with it.
    firmwareTransfer.portWentAway();
    // The machine that comes back may carry other firmware: ask until it
    // answers (nothing goes out while it is away), but never into a stream.
    if (! firmwareTransfer.isStreaming())
        firmwareVersionFinder->startTimer (firmwareQueryIntervalMs);
}

//==============================================================================
bool TuneKestruneEngine::sendCalibrationValue (int note, juce::uint16 value)
{
    return midiManager->sendMessageToAllOutputs (DeviceMessages::calibrationValueWrite (note, value)) > 0;
}

void TuneKestruneEngine::sendAllNotesOff()
{
    for (int note = 0; note <= lastNoteOff; ++note)
        midiManager->sendMessageToAllOutputs (DeviceMessages::noteOff (note));
}

void TuneKestruneEngine::attachAudioCallback()
{
    if (audioCallback != nullptr)
        return;
    // Registered through the input that picks the machine's channel and
    // tells Fine Tune when estimates follow a jump of the pitch.
    audioCallback = new DetectTuneAudioCallback();
    analysisInput = new AnalysisInput (audioCallback);
    blocksHeard = 0;
    analysisInput->setChannel (analysedInputChannel.load());
    deviceManager.addAudioCallback (analysisInput.get());
}

void TuneKestruneEngine::detachAudioCallback()
{
    if (analysisInput != nullptr)
        deviceManager.removeAudioCallback (analysisInput.get());
    analysisInput = nullptr;
    audioCallback = nullptr;
}

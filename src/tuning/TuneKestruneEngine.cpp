#include "TuneKestruneEngine.h"

#include "EmbeddedData.h"
#include "midi/DeviceMessages.h"
#include "midi/FindFirmwareVersion.h"
#include "tuning/CalibrationReport.h"
#include "tuning/DefaultCalibration.h"
#include "tuning/GuitarPlayerTuningAlgorithm.h"
#include "tuning/SweepUpTuningAlgorithm.h"

namespace
{
// Paced as the calibration writer paces its writes and requests.
constexpr int requestPauseMs = CalibrationWriter::requestPauseMs;
constexpr int writePauseMs = CalibrationWriter::writePauseMs;
constexpr int maxPacedPauseMsPerCall = CalibrationWriter::maxPausePerCallMs;
constexpr int lastRequestedNote = 64;
constexpr int lastNoteOff = 126;
constexpr int firmwareImageSize = 113134;
constexpr juce::uint32 firmwarePacketSize = 64;
constexpr int firmwarePacketIntervalMs = 10;
constexpr const char* firmwareImageName = "Audio Application Firmware";
constexpr double minimumUsableFirmwareVersion = 1.0;

constexpr juce::uint64 noteBit (int note)
{
    return juce::uint64 { 1 } << note;
}

constexpr juce::uint64 calibratedNotesMask()
{
    juce::uint64 mask = 0;
    for (int note = TuneKestruneEngine::firstNote; note <= TuneKestruneEngine::lastNote; ++note)
        mask |= noteBit (note);
    return mask;
}

juce::Array<juce::uint8> bytesOf (const juce::MidiMessage& message)
{
    return { message.getRawData(), message.getRawDataSize() };
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
    engine.referenceNoteAltered.store (true);
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
TuneKestruneEngine::TuneKestruneEngine (juce::AudioDeviceManager& manager, MidiManager::Ptr midi, MillisecondClock& clockToUse)
    : midiManager (std::move (midi)), deviceManager (manager), clock (clockToUse), writer (midiManager, clockToUse)
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
    writer.cancel();
    if (status->tuning)
        abortTuning();
    stopTuningCheck();
    detachAudioCallback();
    sendAllNotesOff();

    // The manager may outlive the engine: no reply may reach it after this.
    midiManager->removeListener (this);
    firmwareVersionFinder = nullptr;
    algorithm = nullptr;
    retiredFirmwareSender = nullptr;
    firmwareSender = nullptr;
    firmwareData = nullptr;
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
    return { sweepTuneName, fineTuneName };
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
    // among the replies of a calibration being checked, or change the pitch
    // of a note being checked.
    if (firmwareSender != nullptr || writer.isBusy() || tuningCheck != nullptr)
        return false;

    attachAudioCallback();

    firmwareVersionFinder->startTimer (firmwareQueryIntervalMs);

    if (! (status->firmwareVersion.load() > minimumUsableFirmwareVersion))
        return false;

    // While the reference note still holds our lowest-pitch value from an
    // earlier start, its reply would report that value, not the stored one:
    // keep the value read before and do not take the new reply as stored.
    const bool referenceAltered = referenceNoteAltered.load();
    notesReadBack.store (referenceAltered ? (notesReadBack.load() & noteBit (firstNote)) : 0);
    ignoreReferenceNoteReplies.store (referenceAltered);
    notesReplied.store (0);
    numCalibrationReplies.store (0);
    listening = true;   // before the first request: its reply may come back at once

    // The first requests now, the rest on the next ticks; then the reference
    // note sounds, with our lowest-pitch value.
    settleTicks = 0;
    nextReadBackRequest = firstNote;
    sendReadBackRequests();
    startTimer (tickIntervalMs);
    return true;
}

bool TuneKestruneEngine::beginTuningRun()
{
    if (firmwareSender != nullptr || tuningCheck != nullptr || ! allNotesReplied())
        return false;

    // Restore Default in the knob step may have given note 24 a value to
    // keep; from here on it holds ours again.
    referenceNoteAltered.store (true);
    sendCalibrationValue (firstNote, lowestPitchValue);

    if (algorithm != nullptr)
        return false;

    if (status->algorithmName == sweepTuneName)
        algorithm = std::make_unique<SweepUpTuningAlgorithm> (midiManager, *this);
    else
        algorithm = std::make_unique<GuitarPlayerTuningAlgorithm> (midiManager, *this, deviceCalibration);

    status->tuning = true;
    statusListeners.call ([] (StatusListener& l) { l.tuningStarted(); });
    return true;
}

void TuneKestruneEngine::abortTuning()
{
    stopTimer();
    listening = false;
    nextReadBackRequest = 0;
    algorithm = nullptr;
    midiManager->sendMessageToAllOutputs (DeviceMessages::noteOff (firstNote));
    status->tuning = false;
    statusListeners.call ([] (StatusListener& l) { l.tuningStopped(); });

    // Committed only when the reference note got its read-back value back.
    if (undoTuning())
        commitCalibration();

    detachAudioCallback();
}

bool TuneKestruneEngine::isTuning() const
{
    return status->tuning;
}

bool TuneKestruneEngine::isCalibrating() const
{
    return listening || status->tuning;
}

void TuneKestruneEngine::finishTuning()
{
    // Only the running algorithm's completion has results to write.
    if (algorithm == nullptr)
        return;

    stopTimer();
    listening = false;
    nextReadBackRequest = 0;
    tuningResults = algorithm->getResults();
    sendAllNotesOff();

    status->progress = 1.0;
    statusListeners.call ([] (StatusListener& l) { l.tuningProgressChanged (1.0); });

    algorithm = nullptr;
    hasResults = true;
    detachAudioCallback();

    // Stored once the machine has confirmed every value; the outcome follows.
    sendNewCalibration();
}

//==============================================================================
bool TuneKestruneEngine::undoTuning()
{
    const auto readBack = notesReadBack.load (std::memory_order_acquire);
    return writeCalibration ([this, readBack] (int note) -> std::optional<juce::uint16> {
        // A note never read back holds 0 here, not the machine's value.
        if ((readBack & noteBit (note)) == 0)
            return std::nullopt;
        return deviceCalibration[(size_t) note].load();
    });
}

bool TuneKestruneEngine::commitCalibration()
{
    if (referenceNoteAltered.load())
        return false;
    return midiManager->sendMessageToAllOutputs (DeviceMessages::calibrationCommit()) > 0;
}

bool TuneKestruneEngine::undoTuningAndStore()
{
    const auto readBack = notesReadBack.load (std::memory_order_acquire);
    CalibrationWriter::Values values;
    for (int note = firstNote; note <= lastNote; ++note)
        if ((readBack & noteBit (note)) != 0)
            values[(size_t) note] = deviceCalibration[(size_t) note].load();
    return startConfirmedWrite (CalibrationWriteKind::undo, values);
}

bool TuneKestruneEngine::restoreDefaultCalibration()
{
    CalibrationWriter::Values values;
    for (int note = firstNote; note <= lastNote; ++note)
        values[(size_t) note] = kDefaultCalibration[(size_t) (note - firstNote)];
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
    return writer.isBusy();
}

bool TuneKestruneEngine::isBusy() const
{
    return isCalibrating() || firmwareSender != nullptr || writer.isBusy() || tuningCheck != nullptr;
}

bool TuneKestruneEngine::startConfirmedWrite (CalibrationWriteKind kind, const CalibrationWriter::Values& values)
{
    if (isBusy())
        return false;
    const bool includesReference = values[(size_t) firstNote].has_value();
    // The tick ends the wait for the replies.
    if (! isTimerRunning())
        startTimer (tickIntervalMs);
    return writer.start (values, [this, kind, includesReference] (const CalibrationWriter::Result& result) {
        confirmedWriteFinished (kind, includesReference, result);
    });
}

void TuneKestruneEngine::confirmedWriteFinished (CalibrationWriteKind kind, bool includesReferenceNote,
                                                 const CalibrationWriter::Result& result)
{
    // Every value the engine writes this way may be stored; the machine now
    // holds it for the reference note too.
    if (result.confirmed && includesReferenceNote)
        referenceNoteAltered.store (false);

    CalibrationWriteOutcome outcome;
    outcome.kind = kind;
    outcome.stored = result.confirmed && commitCalibration();
    outcome.unconfirmedNotes = result.unconfirmedNotes;
    statusListeners.call ([&outcome] (StatusListener& l) { l.calibrationWriteFinished (outcome); });
}

bool TuneKestruneEngine::writeCalibration (const std::function<std::optional<juce::uint16> (int)>& valueFor)
{
    bool wroteAny = false;
    for (int note = firstNote; note <= lastNote; ++note)
    {
        const auto value = valueFor (note);
        if (! value.has_value())
            continue;
        if (sendCalibrationValue (note, *value) && note == firstNote)
            referenceNoteAltered.store (false);
        clock.pause (writePauseMs);
        wroteAny = true;
    }
    return wroteAny;
}

bool TuneKestruneEngine::hasTuningResults() const
{
    return ! status->tuning && firmwareSender == nullptr && ! writer.isBusy() && hasResults;
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
    if (isCalibrating() || writer.isBusy() || tuningCheck != nullptr)
        return false;

    const auto outputs = midiManager->getOpenOutputDeviceNames();
    firmwareVersionFinder->stopTimer();
    if (outputs.size() != 1)
        return false;

    // The senders refer to the data, so they go first.
    retiredFirmwareSender = nullptr;
    firmwareSender = nullptr;

    const auto imageSize = juce::jmin (firmwareImageSize, EmbeddedData::firmwareImageContainerSize);
    const juce::Array<juce::uint8> image (reinterpret_cast<const juce::uint8*> (EmbeddedData::firmwareImageContainer),
                                          imageSize);
    firmwareData = std::make_unique<FirmwareSysexData> (bytesOf (DeviceMessages::firmwareUpdateRequest()), image,
                                                        firmwarePacketSize, firmwarePacketIntervalMs, outputs[0],
                                                        firmwareImageName);
    firmwareSender = std::make_unique<FirmwareSysexSender> (*firmwareData, midiManager, listener, clock);
    firmwareSender->addListener (this);
    firmwareSender->start();
    return true;
}

void TuneKestruneEngine::cancelFirmwareUpdate()
{
    retiredFirmwareSender = nullptr;
    if (firmwareSender != nullptr)
    {
        firmwareSender->stop();
        firmwareSender = nullptr;
    }
}

bool TuneKestruneEngine::isUpdatingFirmware() const
{
    return firmwareSender != nullptr;
}

void TuneKestruneEngine::firmwareProgressChanged (FirmwareSysexSender*, double) {}

void TuneKestruneEngine::firmwareStatusChanged (FirmwareSysexSender* sender, const juce::String& text)
{
    if (text != FirmwareSysexSender::statusCompleted || sender == nullptr || sender != firmwareSender.get())
        return;

    // The sender is still inside this callback: park it, destroy it later.
    retiredFirmwareSender = std::move (firmwareSender);
    firmwareVersionFinder->startTimer (firmwareQueryIntervalMs);
}

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
    writer.tick();
    if (nextReadBackRequest != 0)
    {
        // Nothing to hear before the reference note sounds, after the last request.
        sendReadBackRequests();
        return;
    }

    if (audioCallback == nullptr)
        return;

    // A listener or the algorithm may drop the last other reference.
    const Ptr keepAlive (this);

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
        // The replies that confirm a write are not values read back, and a
        // reply that comes late, outside any calibration, belongs to none.
        if (writer.takeReply (reply->note, reply->value) || ! isCalibrating())
            return;
        ++numCalibrationReplies;
        const int note = reply->note;
        if (! juce::isPositiveAndBelow (note, tableSize))
            return;

        if (! (note == firstNote && ignoreReferenceNoteReplies.load()))
        {
            deviceCalibration[(size_t) note].store (reply->value);
            notesReadBack.fetch_or (noteBit (note), std::memory_order_release);
        }
        notesReplied.fetch_or (noteBit (note));
        return;
    }

    if (const auto version = DeviceMessages::parseIdentityReplyVersion (message))
    {
        const double value = *version;
        status->firmwareVersion.store (value);
        versionListeners.call ([value] (StatusListener& l) { l.firmwareVersionReceived (value); });
        if (value > minimumUsableFirmwareVersion)
            firmwareVersionFinder->stopTimer();
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
    if (status->tuning)
        abortTuning();
    // The machine that comes back may carry other firmware: ask until it
    // answers (nothing goes out while it is away), but never into a stream.
    if (firmwareSender == nullptr)
        firmwareVersionFinder->startTimer (firmwareQueryIntervalMs);
}

//==============================================================================
bool TuneKestruneEngine::sendCalibrationValue (int note, juce::uint16 value)
{
    return midiManager->sendMessageToAllOutputs (DeviceMessages::calibrationValueWrite (note, value)) > 0;
}

void TuneKestruneEngine::requestCalibrationValue (int note)
{
    midiManager->sendMessageToAllOutputs (DeviceMessages::calibrationValueRequest (note));
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

void TuneKestruneEngine::sendReadBackRequests()
{
    // 2 ms apart, with at most a few tens of milliseconds of pauses in one
    // call on the message thread; the rest go on later ticks.
    for (int pausedMs = 0; nextReadBackRequest != 0 && nextReadBackRequest <= lastRequestedNote; ++nextReadBackRequest)
    {
        if (pausedMs + requestPauseMs > maxPacedPauseMsPerCall)
            return;
        if (nextReadBackRequest != firstNote)
        {
            clock.pause (requestPauseMs);
            pausedMs += requestPauseMs;
        }
        requestCalibrationValue (nextReadBackRequest);
    }
    nextReadBackRequest = 0;

    referenceNoteAltered.store (true);
    clock.pause (requestPauseMs);
    sendCalibrationValue (firstNote, lowestPitchValue);
    midiManager->sendMessageToAllOutputs (DeviceMessages::noteOn (firstNote));
}

bool TuneKestruneEngine::allNotesReplied() const
{
    return (notesReplied.load() & calibratedNotesMask()) == calibratedNotesMask();
}

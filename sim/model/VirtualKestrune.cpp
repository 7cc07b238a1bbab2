#include "VirtualKestrune.h"

#include "midi/DeviceMessages.h"

namespace
{
constexpr juce::uint8 manufacturer = 0x47;
constexpr juce::uint8 model = 0x2A;
constexpr juce::uint8 calibrationValueCommand = 0x24;
constexpr juce::uint8 calibrationCommitCommand = 0x2A;
constexpr juce::uint8 firmwareUpdateCommand = 0x72;

bool isDeviceFrame (const std::vector<juce::uint8>& m)
{
    return m.size() >= 8 && m[0] == 0xF0 && m[1] == manufacturer && m[2] == 0x00 && m[3] == model
           && m.back() == 0xF7 && (size_t) ((m[5] << 7) | m[6]) == m.size() - 8;
}

bool isIdentityRequest (const std::vector<juce::uint8>& m)
{
    // Device number 0, as the utility sends it, or the all-devices number.
    return m.size() == 6 && m[0] == 0xF0 && m[1] == 0x7E && (m[2] == 0x00 || m[2] == 0x7F) && m[3] == 0x06
           && m[4] == 0x01 && m[5] == 0xF7;
}

juce::String hz (double frequency)
{
    return juce::String (frequency, 3);
}
} // namespace

VirtualKestrune::VirtualKestrune() : VirtualKestrune (Options {}) {}

VirtualKestrune::VirtualKestrune (Options opts, MillisecondClock& clockToUse)
    : options (std::move (opts)),
      clock (clockToUse),
      curve (options.seed),
      voice ((juce::uint32) (options.seed * 2654435761LL + 1))
{
    for (int note = FactoryCalibration::firstNote; note <= FactoryCalibration::lastNote; ++note)
        stored[(size_t) note] = options.initialState.valueForNote (note);
    working = stored;
    sounding = stored;
    installedFirmwareVersion = options.initialState.installedFirmwareVersion;
    knob = PitchCurve::clampKnob (options.knobSemitones);
    answerAllNotes = options.answerAllNotes;
}

void VirtualKestrune::setLogSink (LogSink sink)
{
    Lock lock (mutex);
    logSink = std::move (sink);
}

void VirtualKestrune::setStateSink (StateSink sink)
{
    Lock lock (mutex);
    stateSink = std::move (sink);
}

void VirtualKestrune::log (const juce::String& line) const
{
    if (logSink)
        logSink (line);
}

juce::String VirtualKestrune::hex (const juce::uint8* data, int numBytes)
{
    return juce::String::toHexString (data, numBytes, 1).toUpperCase();
}

std::vector<juce::MidiMessage> VirtualKestrune::receive (const juce::MidiMessage& message)
{
    return receive (message.getRawData(), message.getRawDataSize());
}

std::vector<juce::MidiMessage> VirtualKestrune::receive (const juce::uint8* data, int numBytes)
{
    std::vector<juce::MidiMessage> replies;
    if (data == nullptr || numBytes <= 0)
        return replies;

    Lock lock (mutex);
    log ("RX " + hex (data, numBytes));

    for (int i = 0; i < numBytes; ++i)
    {
        if (receivingFirmware)
        {
            // Firmware bytes are raw: the image header holds bytes that would
            // read as MIDI status bytes.
            lastFirmwareByteMs = clock.getMillisecondCounter();
            if (firmware.push (data[i]) != FirmwareStreamChecker::Status::receiving)
                finishFirmwareStream (true);
        }
        else if (parser.push (data[i]))
        {
            handleMessage (parser.message(), replies);
        }
    }
    return replies;
}

void VirtualKestrune::handleMessage (const std::vector<juce::uint8>& m, std::vector<juce::MidiMessage>& replies)
{
    const auto status = m[0];

    if (status < 0xF0)
    {
        if ((status & 0x0F) != 0 || m.size() != 3)
            return;   // the bass voice listens on channel 1 only
        const auto type = status & 0xF0;
        if (type == 0x90 && m[2] > 0)
            handleNoteOn (m[1]);
        else if (type == 0x80 || type == 0x90)
            handleNoteOff (m[1]);
        return;
    }

    if (isIdentityRequest (m))
    {
        std::array<juce::uint8, 4> digits {};
        versionDigits (reportedVersion(), digits);
        send (DeviceMessages::identityReply (digits[0], digits[1], digits[2], digits[3]), replies, false);
        return;
    }

    if (! isDeviceFrame (m))
        return;

    const auto command = m[4];
    const auto length = m.size() - 8;

    if (command == calibrationValueCommand && length == 5)
    {
        const int note = m[7];
        const auto value = (juce::uint16) (((m[8] & 0x0F) << 12) | ((m[9] & 0x0F) << 8) | ((m[10] & 0x0F) << 4) | (m[11] & 0x0F));
        if (writesToDrop > 0)
        {
            --writesToDrop;
            log ("DROP-WRITE " + juce::String (note) + " " + juce::String (value));
            return;
        }
        sounding[(size_t) note] = options.soundsOneWriteLate ? working[(size_t) note] : value;
        working[(size_t) note] = value;
        log ("VALUE " + juce::String (note) + " " + juce::String (value) + " hz=" + hz (curve.frequency (value, knob)));
        if (note == soundingNote)
            updateVoice();
    }
    else if (command == calibrationValueCommand && length == 1)
    {
        const int note = m[7];
        if (FactoryCalibration::isCalibratedNote (note) || answerAllNotes)
            send (DeviceMessages::calibrationValueReply (note, working[(size_t) note]), replies, true);
        else
            log ("NOREPLY " + juce::String (note));
    }
    else if (command == calibrationCommitCommand && length == 0)
    {
        stored = working;
        log ("STATE commit");
        if (stateSink)
            stateSink (getStoredStateLocked());
    }
    else if (command == firmwareUpdateCommand && length == 0)
    {
        startFirmwareStream();
    }
}

void VirtualKestrune::handleNoteOn (int note)
{
    if (! FactoryCalibration::isCalibratedNote (note))
    {
        log ("NOTE on " + juce::String (note) + " ignored");
        return;
    }
    soundingNote = note;
    updateVoice();
    log ("NOTE on " + juce::String (note) + " value=" + juce::String (working[(size_t) note])
         + " hz=" + hz (voice.getFrequency()));
}

void VirtualKestrune::handleNoteOff (int note)
{
    if (note != soundingNote)
        return;
    soundingNote = -1;
    updateVoice();
    log ("NOTE off " + juce::String (note));
}

void VirtualKestrune::send (const juce::MidiMessage& reply, std::vector<juce::MidiMessage>& replies, bool droppable)
{
    const auto text = hex (reply.getRawData(), reply.getRawDataSize());
    if (droppable && repliesToDrop > 0)
    {
        --repliesToDrop;
        log ("DROP " + text);
        return;
    }
    log ("TX " + text);
    replies.push_back (reply);
}

void VirtualKestrune::startFirmwareStream()
{
    receivingFirmware = true;
    firmware.reset();
    for (auto byte : FirmwareStreamChecker::updateRequestBytes())
        firmware.push (byte);
    lastFirmwareByteMs = clock.getMillisecondCounter();
    log ("FIRMWARE request");
}

void VirtualKestrune::finishFirmwareStream (bool imageBegan)
{
    receivingFirmware = false;
    parser.reset();
    const auto& report = firmware.getReport();
    lastFirmwareReport = report;
    const auto counts = "bytes=" + juce::String (report.bytes) + " records=" + juce::String (report.records);

    if (report.status != FirmwareStreamChecker::Status::accepted)
    {
        log ("FIRMWARE rejected " + counts + " error=" + report.firstError);
        // Once an image began, the old application is gone: the boot loader
        // answers, with 0.00, until an image is accepted.
        if (imageBegan)
        {
            installedFirmwareVersion = bootLoaderVersion;
            if (stateSink)
                stateSink (getStoredStateLocked());
        }
        return;
    }

    installedFirmwareVersion = options.firmwareVersionAfterUpdate;
    log ("FIRMWARE accepted " + counts + " version=" + installedFirmwareVersion);
    if (stateSink)
        stateSink (getStoredStateLocked());
    // The new firmware boots.
    restartLocked();
}

void VirtualKestrune::tick()
{
    Lock lock (mutex);
    if (! receivingFirmware)
        return;
    const auto limit = firmware.hasOnlyRequest() ? options.firmwareImageWaitMs : options.firmwareStreamIdleMs;
    if (clock.getMillisecondCounter() - lastFirmwareByteMs >= limit)
    {
        const bool imageBegan = ! firmware.hasOnlyRequest();
        firmware.endCutShort();
        finishFirmwareStream (imageBegan);
    }
}

void VirtualKestrune::setKnob (double semitones)
{
    Lock lock (mutex);
    knob = PitchCurve::clampKnob (semitones);
    log ("KNOB " + juce::String (knob));
    updateVoice();
}

double VirtualKestrune::getKnob() const
{
    Lock lock (mutex);
    return knob;
}

void VirtualKestrune::setMuted (bool shouldBeMuted)
{
    Lock lock (mutex);
    voice.setMuted (shouldBeMuted);
    log (shouldBeMuted ? "MUTE on" : "MUTE off");
}

void VirtualKestrune::setAnswerAllNotes (bool shouldAnswer)
{
    Lock lock (mutex);
    answerAllNotes = shouldAnswer;
}

void VirtualKestrune::dropNextWrites (int n)
{
    const Lock lock (mutex);
    writesToDrop = std::max (0, n);
    log ("DROP-WRITES " + juce::String (writesToDrop));
}

void VirtualKestrune::dropNextReplies (int n)
{
    Lock lock (mutex);
    repliesToDrop = std::max (0, n);
    log ("DROP-REPLIES " + juce::String (repliesToDrop));
}

void VirtualKestrune::restart()
{
    Lock lock (mutex);
    restartLocked();
}

void VirtualKestrune::restartLocked()
{
    working = stored;
    sounding = stored;
    soundingNote = -1;
    receivingFirmware = false;
    parser.reset();
    updateVoice();
    log ("STATE restart");
}

void VirtualKestrune::updateVoice()
{
    if (soundingNote >= 0)
        voice.setSounding (true, curve.frequency (sounding[(size_t) soundingNote], knob));
    else
        voice.setSounding (false, 0.0);
}

juce::uint16 VirtualKestrune::getWorkingValue (int note) const
{
    Lock lock (mutex);
    return juce::isPositiveAndBelow (note, 128) ? working[(size_t) note] : (juce::uint16) 0;
}

juce::uint16 VirtualKestrune::getStoredValue (int note) const
{
    Lock lock (mutex);
    return juce::isPositiveAndBelow (note, 128) ? stored[(size_t) note] : (juce::uint16) 0;
}

MachineState VirtualKestrune::getStoredState() const
{
    Lock lock (mutex);
    return getStoredStateLocked();
}

MachineState VirtualKestrune::getStoredStateLocked() const
{
    MachineState state;
    for (int note = FactoryCalibration::firstNote; note <= FactoryCalibration::lastNote; ++note)
        state.calibration[(size_t) (note - FactoryCalibration::firstNote)] = stored[(size_t) note];
    state.installedFirmwareVersion = installedFirmwareVersion;
    return state;
}

juce::String VirtualKestrune::getFirmwareVersion() const
{
    Lock lock (mutex);
    return reportedVersion();
}

juce::String VirtualKestrune::reportedVersion() const
{
    return installedFirmwareVersion.isNotEmpty() ? installedFirmwareVersion : options.firmwareVersion;
}

bool VirtualKestrune::isReceivingFirmware() const
{
    Lock lock (mutex);
    return receivingFirmware;
}

std::optional<FirmwareStreamChecker::Report> VirtualKestrune::getLastFirmwareReport() const
{
    Lock lock (mutex);
    return lastFirmwareReport;
}

int VirtualKestrune::getSoundingNote() const
{
    Lock lock (mutex);
    return soundingNote;
}

double VirtualKestrune::getSoundingFrequency() const
{
    Lock lock (mutex);
    return soundingNote >= 0 ? curve.frequency (sounding[(size_t) soundingNote], knob) : 0.0;
}

void VirtualKestrune::renderAudio (float* dest, int numSamples, double sampleRate) noexcept
{
    voice.render (dest, numSamples, sampleRate);
}

bool VirtualKestrune::versionDigits (const juce::String& version, std::array<juce::uint8, 4>& digits)
{
    const auto whole = version.upToFirstOccurrenceOf (".", false, false);
    const auto fraction = version.fromFirstOccurrenceOf (".", false, false);
    const auto isDigits = [] (const juce::String& s) { return s.length() >= 1 && s.length() <= 2 && s.containsOnly ("0123456789"); };

    if (! version.containsChar ('.') || ! isDigits (whole) || ! isDigits (fraction))
        return false;

    const auto paddedWhole = whole.paddedLeft ('0', 2);
    const auto paddedFraction = fraction.paddedRight ('0', 2);
    digits = { (juce::uint8) (paddedWhole[0] - '0'), (juce::uint8) (paddedWhole[1] - '0'),
               (juce::uint8) (paddedFraction[0] - '0'), (juce::uint8) (paddedFraction[1] - '0') };
    return true;
}

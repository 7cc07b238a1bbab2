#include "EngineTestSupport.h"

#include "sim/doubles/VirtualKestruneAudioIODeviceType.h"

#include <sstream>

namespace enginetest
{
namespace
{
bool sameBytes (const juce::MidiMessage& a, const juce::MidiMessage& b)
{
    return a.getRawDataSize() == b.getRawDataSize()
           && std::memcmp (a.getRawData(), b.getRawData(), (size_t) a.getRawDataSize()) == 0;
}

std::string text (const char* prefix, double value)
{
    std::ostringstream stream;
    stream << prefix << value;
    return stream.str();
}

// An audio device manager that knows only the virtual machine's device type.
struct SimAudioDeviceManager : juce::AudioDeviceManager
{
    SimAudioDeviceManager (std::shared_ptr<VirtualKestrune> m, SimulatedClock& c) : machine (std::move (m)), clock (c) {}
    void createAudioDeviceTypes (juce::OwnedArray<juce::AudioIODeviceType>& types) override
    {
        types.add (new VirtualKestruneAudioIODeviceType (machine, &clock));
    }
    std::shared_ptr<VirtualKestrune> machine;
    SimulatedClock& clock;
};
} // namespace

std::string describe (const juce::MidiMessage& message)
{
    if (sameBytes (message, DeviceMessages::identityRequest()))
        return "identity";
    if (sameBytes (message, DeviceMessages::calibrationCommit()))
        return "commit";
    if (sameBytes (message, DeviceMessages::firmwareUpdateRequest()))
        return "update";
    if (message.isNoteOn())
        return "on " + std::to_string (message.getNoteNumber()) + " " + std::to_string (message.getVelocity());
    if (message.isNoteOff())
        return "off " + std::to_string (message.getNoteNumber());
    if (message.isSysEx() && message.getRawDataSize() == 9 && message.getRawData()[4] == 0x24)
        return "request " + std::to_string (message.getRawData()[7]);
    if (const auto write = DeviceMessages::parseCalibrationValueReply (message))
        return "write " + std::to_string (write->note) + " " + std::to_string (write->value);
    return "other " + std::to_string (message.getRawDataSize());
}

std::vector<std::string> describeAll (const std::vector<juce::MidiMessage>& messages, bool withIdentityRequests)
{
    std::vector<std::string> result;
    for (const auto& m : messages)
        if (auto text = describe (m); withIdentityRequests || text != "identity")
            result.push_back (std::move (text));
    return result;
}

std::vector<std::string> concat (std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> result;
    for (const auto& part : parts)
        result.insert (result.end(), part.begin(), part.end());
    return result;
}

std::vector<std::string> messagesFor (const char* kind, int first, int last, const std::function<int (int)>& valueFor)
{
    std::vector<std::string> result;
    for (int note = first; note <= last; ++note)
        result.push_back (kind + (" " + std::to_string (note)) + (valueFor ? " " + std::to_string (valueFor (note)) : ""));
    return result;
}

//==============================================================================
void RecordingStatusListener::frequencyDetected (float hz) { add (text ("frequency ", hz)); }
void RecordingStatusListener::tuningProgressChanged (double progress) { add (text ("progress ", progress)); }
void RecordingStatusListener::firmwareVersionReceived (double version) { add (text ("version ", version)); }

void RecordingStatusListener::calibrationWriteFinished (const TuneKestruneEngine::CalibrationWriteOutcome& outcome)
{
    using Kind = TuneKestruneEngine::CalibrationWriteKind;
    const char* kind = outcome.kind == Kind::newCalibration   ? "new"
                       : outcome.kind == Kind::undo           ? "undo"
                       : outcome.kind == Kind::load           ? "load"
                       : outcome.kind == Kind::restoreDefault ? "default"
                                                              : "restore";
    add (std::string ("written ") + kind + (outcome.stored ? " stored" : " not stored")
         + (outcome.unconfirmedNotes.isEmpty() ? "" : " " + std::to_string (outcome.unconfirmedNotes.size()))
         + (outcome.stored ? "" : outcome.machineAsFound ? ", as found" : ", left changed " + std::to_string (outcome.notesLeftChanged.size())));
}

void RecordingStatusListener::add (const std::string& event)
{
    const std::lock_guard<std::mutex> g (mutex);
    events.push_back (event);
}

std::vector<std::string> RecordingStatusListener::all() const
{
    const std::lock_guard<std::mutex> g (mutex);
    return events;
}

std::vector<std::string> RecordingStatusListener::milestones() const
{
    std::vector<std::string> result;
    for (const auto& e : all())
        if (e.rfind ("frequency", 0) != 0 && (e.rfind ("progress", 0) != 0 || e == "progress 1"))
            result.push_back (e);
    return result;
}

void RecordingStatusListener::clear()
{
    const std::lock_guard<std::mutex> g (mutex);
    events.clear();
}

//==============================================================================
FakeRig::FakeRig()
{
    ports->plugInput (portName);
    ports->plugOutput (portName);
    midi = new MidiManager (ports);
    midi->openInputDevice (portName);
    midi->openOutputDevice (portName);
    engine = new TuneKestruneEngine (deviceManager, midi, clock);
    engine->addStatusListener (&listener);
}

FakeRig::~FakeRig()
{
    if (engine != nullptr)
        engine->removeStatusListener (&listener);
    engine = nullptr;
    midi = nullptr;
}

void FakeRig::startListening()
{
    replyVersion (0, 1, 0, 5);
    if (! start())
        throw std::runtime_error ("start refused");
    listener.clear();
}

bool FakeRig::start()
{
    if (! engine->startTuningCalibration() || ! tickUntilSent ("request 64"))
        return false;
    for (int note = TuneKestruneEngine::firstNote; note <= TuneKestruneEngine::lastNote; ++note)
        reply (note, machineValue (note));
    return tickUntilSent ("on 24 127");
}

void FakeRig::finishWrites()
{
    for (int i = 0; i < 1000 && engine->isWritingCalibration(); ++i)
    {
        clock.advanceMs (TuneKestruneEngine::tickIntervalMs);
        tick();
    }
}

bool FakeRig::tickUntilSent (const std::string& last, int maxTicks)
{
    for (int i = 0;; ++i)
    {
        if (const auto all = sent(); ! all.empty() && all.back() == last)
            return true;
        if (i == maxTicks)
            return false;
        tick();
    }
}

//==============================================================================
VirtualKestrune::Options machineOptions (juce::int64 seed, double knob)
{
    VirtualKestrune::Options options;
    options.seed = seed;
    options.knobSemitones = knob;
    return options;
}

bool SimRig::finishWrites (double limitMs)
{
    run (limitMs, [this] { return ! engine->isWritingCalibration(); });
    return ! engine->isWritingCalibration();
}

void SimRig::newEngine (std::shared_ptr<CalibrationJournal> journal)
{
    if (engine != nullptr)
        engine->removeStatusListener (&listener);
    engine = nullptr;
    engine = new TuneKestruneEngine (*deviceManager, midi, clock, std::move (journal));
    engine->addStatusListener (&listener);
}

std::string SimRig::differencesFrom (const MachineState& before) const
{
    std::string differences;
    for (int note = TuneKestruneEngine::firstNote; note <= TuneKestruneEngine::lastNote; ++note)
    {
        if (machine->getStoredValue (note) != before.valueForNote (note))
            differences += " stored " + std::to_string (note) + "=" + std::to_string (machine->getStoredValue (note));
        if (machine->getWorkingValue (note) != before.valueForNote (note))
            differences += " working " + std::to_string (note) + "=" + std::to_string (machine->getWorkingValue (note));
    }
    if (machine->getSoundingNote() != -1)
        differences += " sounding " + std::to_string (machine->getSoundingNote());
    return differences;
}

SimRig::SimRig (VirtualKestrune::Options options, double sampleRate, int blockSize)
{
    machine = std::make_shared<VirtualKestrune> (options, clock);
    ports = std::make_shared<VirtualKestruneMidiPortSystem> (machine);
    midi = new MidiManager (ports);
    midi->openInputDevice (VirtualKestruneMidiPortSystem::defaultPortName);
    midi->openOutputDevice (VirtualKestruneMidiPortSystem::defaultPortName);

    deviceManager = std::make_unique<SimAudioDeviceManager> (machine, clock);
    juce::AudioDeviceManager::AudioDeviceSetup setup;
    setup.inputDeviceName = VirtualKestruneAudioIODevice::deviceName;
    setup.sampleRate = sampleRate;
    setup.bufferSize = blockSize;
    setup.useDefaultInputChannels = true;
    setup.useDefaultOutputChannels = false;
    const auto error = deviceManager->initialise (1, 0, nullptr, false, {}, &setup);
    if (error.isNotEmpty() || device() == nullptr)
        throw std::runtime_error ("virtual audio device did not open: " + error.toStdString());

    newEngine();
    nextTickMs = clock.getMillisecondCounter() + TuneKestruneEngine::tickIntervalMs;
}

SimRig::~SimRig()
{
    if (engine != nullptr)
        engine->removeStatusListener (&listener);
    engine = nullptr;
    deviceManager = nullptr;
    midi = nullptr;
}

void SimRig::run (double ms, const std::function<bool()>& until)
{
    const auto end = clock.getMillisecondCounter() + (juce::uint32) ms;
    auto* audio = device();
    while (clock.getMillisecondCounter() < end && ! (until && until()))
    {
        audio->renderBlocks (1);
        // The tick runs only while the engine's own timer would.
        for (; clock.getMillisecondCounter() >= nextTickMs; nextTickMs += TuneKestruneEngine::tickIntervalMs)
            if (engine != nullptr && engine->isTimerRunning())
                engine->timerCallback();
    }
}

void SimRig::start()
{
    // The identity poll would have found the version long before.
    midi->sendMessageToAllOutputs (DeviceMessages::identityRequest());
    if (! engine->startTuningCalibration())
        throw std::runtime_error ("start refused");
    run (1000.0, [this] {
        const auto received = ports->getReceivedByMachine();
        return ! received.empty() && describe (received.back()) == "on 24 127";
    });
}

void SimRig::startAndBegin()
{
    start();
    run (1000.0);
    if (! engine->beginTuningRun())
        throw std::runtime_error ("begin refused");
}

double SimRig::runToEnd (double limitMs)
{
    const auto start = clock.getMillisecondCounter();
    run (limitMs, [this] { return ! engine->isTuning() && ! engine->isWritingCalibration(); });
    return (double) (clock.getMillisecondCounter() - start);
}
} // namespace enginetest

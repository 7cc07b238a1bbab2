#include "SimRig.h"

#include "sim/doubles/VirtualKestruneAudioIODeviceType.h"

namespace enginetest
{
namespace
{
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

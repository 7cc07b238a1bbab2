#pragma once

#include "MessageText.h"
#include "RecordingStatusListener.h"
#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "sim/doubles/VirtualKestruneAudioIODevice.h"
#include "sim/doubles/VirtualKestruneMidiPortSystem.h"
#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"
#include "tuning/TuneKestruneEngine.h"

namespace enginetest
{
// An engine wired to the virtual machine: its MIDI ports, its Synth Output at
// 48 kHz in 512-sample blocks rendered on demand, and simulated time.
struct SimRig
{
    explicit SimRig (VirtualKestrune::Options options = {}, double sampleRate = 48000.0, int blockSize = 512);
    ~SimRig();

    // Renders ms of simulated time, ticking the engine while its timer runs, until `until` holds.
    void run (double ms, const std::function<bool()>& until = {});
    // A start, run until its paced requests are out and note 24 sounds.
    void start();
    void startAndBegin();
    // Until the run is over and what it wrote confirmed or given up; returns the simulated ms.
    double runToEnd (double limitMs = 600000.0);

    // Until no write is in progress; false when one still is.
    bool finishWrites (double limitMs = 10000.0);
    // The utility started again: a new engine on the same machine and devices.
    void newEngine (std::shared_ptr<CalibrationJournal> journal = {});
    // "" when the machine stores and sounds `before` and holds nothing else
    // for notes 24 to 63 and is silent; otherwise what differs.
    std::string differencesFrom (const MachineState& before) const;

    VirtualKestruneAudioIODevice* device() const { return dynamic_cast<VirtualKestruneAudioIODevice*> (deviceManager->getCurrentAudioDevice()); }

    SimulatedClock clock;
    std::shared_ptr<VirtualKestrune> machine;
    std::shared_ptr<VirtualKestruneMidiPortSystem> ports;
    MidiManager::Ptr midi;
    std::unique_ptr<juce::AudioDeviceManager> deviceManager;   // knows only the virtual machine's device
    RecordingStatusListener listener;
    TuneKestruneEngine::Ptr engine;
    juce::uint32 nextTickMs = 0;
};

VirtualKestrune::Options machineOptions (juce::int64 seed, double knob);
} // namespace enginetest

#pragma once

#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "sim/doubles/VirtualKestruneAudioIODevice.h"
#include "sim/doubles/VirtualKestruneMidiPortSystem.h"
#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"
#include "support/FakeMidiPortSystem.h"
#include "tuning/TuneKestruneEngine.h"

#include <mutex>
#include <string>
#include <vector>

namespace enginetest
{
inline const juce::String portName { "Kestrune Jack 1" };

// "request 24", "write 24 65535", "commit", "on 24 127", "off 24", "identity", ...
std::string describe (const juce::MidiMessage& message);
std::vector<std::string> describeAll (const std::vector<juce::MidiMessage>& messages, bool withIdentityRequests = false);
std::vector<std::string> concat (std::initializer_list<std::vector<std::string>> parts);
// "kind 24 value", ... for notes first to last; without valueFor "kind 24", ...
std::vector<std::string> messagesFor (const char* kind, int first, int last, const std::function<int (int)>& valueFor = {});

// Records every status callback as text, from any thread.
class RecordingStatusListener : public TuneKestruneEngine::StatusListener
{
public:
    void frequencyDetected (float hz) override;
    void tuningNoteChanged (int note) override { add ("note " + std::to_string (note)); }
    void tuningStarted() override { add ("started"); }
    void tuningStopped() override { add ("stopped"); }
    void tuningFailed() override { add ("failed"); }
    void tuningProgressChanged (double progress) override;
    void firmwareVersionReceived (double version) override;
    // "written restore stored", "written new not stored 3" (unconfirmed notes)
    void calibrationWriteFinished (const TuneKestruneEngine::CalibrationWriteOutcome& outcome) override;

    // Events but frequencies and progress short of 1.
    std::vector<std::string> milestones() const;
    std::vector<std::string> all() const;
    void clear();

private:
    void add (const std::string& text);

    mutable std::mutex mutex;
    std::vector<std::string> events;
};

// An engine on a fake MIDI port pair and no audio device: the estimate stays 0 Hz.
struct FakeRig
{
    FakeRig();
    ~FakeRig();

    void replyVersion (juce::uint8 d0, juce::uint8 d1, juce::uint8 d2, juce::uint8 d3)
    {
        ports->injectMessage (portName, DeviceMessages::identityReply (d0, d1, d2, d3));
    }
    void reply (int note, juce::uint16 value) { ports->injectMessage (portName, DeviceMessages::calibrationValueReply (note, value)); }
    void replyAll (int firstNote, int lastNote, juce::uint16 (*valueFor) (int note))
    {
        for (int note = firstNote; note <= lastNote; ++note)
            reply (note, valueFor (note));
    }
    void tick (int n = 1)
    {
        for (int i = 0; i < n; ++i)
            engine->timerCallback();
    }
    // Known firmware 1.05 and a successful start: the knob step.
    void startListening();
    // A start, with the ticks that send its paced requests, the machine's
    // answers (machineValue, from the message thread) and note 24 sounding.
    bool start();
    // What the machine answers for each calibrated note at a start.
    std::function<juce::uint16 (int note)> machineValue = [] (int note) { return (juce::uint16) (1000 + note); };
    // Ticks, 15 ms apart, until no write is in progress (nothing answers here
    // unless the test does: a write gives up after its rounds).
    void finishWrites();
    // Ticks until the last message sent is `last`; false when it never is.
    bool tickUntilSent (const std::string& last, int maxTicks = 30);
    std::vector<std::string> sent() const { return describeAll (ports->allSent()); }

    SimulatedClock clock;
    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr midi;
    juce::AudioDeviceManager deviceManager;
    RecordingStatusListener listener;
    TuneKestruneEngine::Ptr engine;
};

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

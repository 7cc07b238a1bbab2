#pragma once

#include "midi/DeviceMessages.h"
#include "midi/MidiManager.h"
#include "support/FakeMidiPortSystem.h"
#include "tuning/TuneKestruneEngine.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>
#include <thread>

// A real engine on fake MIDI ports, with the machine's side played by the
// test: its firmware version and its calibration replies.
struct UiTestRig
{
    static constexpr const char* portName = "Kestrune Jack 1";

    UiTestRig()
    {
        ports->plugInput (portName);
        ports->plugOutput (portName);
        midiManager->openInputDevice (portName);
        midiManager->openOutputDevice (portName);
        engine = new TuneKestruneEngine (deviceManager, midiManager);
    }
    ~UiTestRig()
    {
        // A run's algorithm keeps the engine alive: end it first.
        if (engine->isTuning())
            engine->abortTuning();
    }

    // Delivered on a thread of its own, as the MIDI input thread does.
    void replyFirmwareVersion (juce::uint8 minor = 5)
    {
        std::thread midiThread ([this, minor] { ports->injectMessage (portName, DeviceMessages::identityReply (0, 1, 0, minor)); });
        midiThread.join();
    }

    // The knob step: the machine's version is known and its values read back.
    void startCalibration()
    {
        replyFirmwareVersion();
        if (! engine->startTuningCalibration())
            throw std::runtime_error ("the engine refused to start");
        // The paced requests go out over a few ticks; then note 24 sounds.
        for (int i = 0; i < 10 && ! (! sent().empty() && sent().back().isNoteOn()); ++i)
            engine->timerCallback();
        for (int note = TuneKestruneEngine::firstNote; note <= TuneKestruneEngine::lastNote; ++note)
            ports->injectMessage (portName, DeviceMessages::calibrationValueReply (note, (juce::uint16) (30000 + note)));
    }

    void startRun()
    {
        startCalibration();
        if (! engine->beginTuningRun())
            throw std::runtime_error ("the engine refused to begin the run");
    }

    // Runs the engine tick until it publishes a measurement.
    void tickPastSettling()
    {
        for (int i = 0; i <= TuneKestruneEngine::numSettleTicks; ++i)
            engine->timerCallback();
    }

    std::vector<juce::MidiMessage> sent() const { return ports->sentTo (portName); }
    static void deliverPendingMessages() { juce::MessageManager::getInstance()->runDispatchLoopUntil (30); }

    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    juce::AudioDeviceManager deviceManager;
    MidiManager::Ptr midiManager = new MidiManager (ports);
    TuneKestruneEngine::Ptr engine;
};

#pragma once

#include "FakeRig.h"

// The engine on fake MIDI ports in the states the windows react to.
struct UiTestRig : enginetest::FakeRig
{
    // A run's algorithm keeps the engine alive: end it first.
    ~UiTestRig()
    {
        if (engine->isTuning())
            engine->abortTuning();
    }

    // The knob step: firmware 1.05 known, note 24 sounding, the values read back.
    void startCalibration()
    {
        machineValue = [] (int note) { return (juce::uint16) (30000 + note); };
        startListening();
    }
    void startRun()
    {
        startCalibration();
        if (! engine->beginTuningRun())
            throw std::runtime_error ("the engine refused to begin the run");
    }
    // Runs the engine tick until it publishes a measurement.
    void tickPastSettling() { tick (TuneKestruneEngine::numSettleTicks + 1); }

    static void deliverPendingMessages() { juce::MessageManager::getInstance()->runDispatchLoopUntil (30); }
};

#pragma once

#include "midi/MidiManager.h"

#include <juce_events/juce_events.h>

// Asks the machine for its identity on every timer tick while running. The
// reply is recognised by whoever listens to the MIDI manager (the engine),
// which also stops this timer once a usable version has arrived.
class FindFirmwareVersion : public juce::Timer
{
public:
    explicit FindFirmwareVersion (MidiManager::Ptr midiManager);
    ~FindFirmwareVersion() override;

    void timerCallback() override;

private:
    MidiManager::Ptr midiManager;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FindFirmwareVersion)
};

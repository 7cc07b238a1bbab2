#pragma once

#include "midi/MidiManager.h"
#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

// Stand-in until the window's content is built.
class PreferencesComponent : public juce::Component
{
public:
    PreferencesComponent (juce::AudioDeviceManager& audioDeviceManager, MidiManager::Ptr midiManager,
                          TuneKestruneEngine::Ptr engine);

private:
    MidiManager::Ptr midiManager;
    TuneKestruneEngine::Ptr tuneEngine;
};

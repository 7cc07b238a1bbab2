#pragma once

#include "midi/MidiManager.h"
#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

class PreferencesComponent;

class PreferencesWindow : public juce::DocumentWindow
{
public:
    PreferencesWindow (juce::AudioDeviceManager& audioDeviceManager, MidiManager::Ptr midiManager,
                       TuneKestruneEngine::Ptr engine);
    ~PreferencesWindow() override;

    // Deletes the window, after the click that asked for it has been handled.
    void closeButtonPressed() override;

    PreferencesComponent* getPreferencesComponent() const { return content.get(); }

private:
    std::unique_ptr<PreferencesComponent> content;

    JUCE_DECLARE_WEAK_REFERENCEABLE (PreferencesWindow)
    JUCE_DECLARE_NON_COPYABLE (PreferencesWindow)
};

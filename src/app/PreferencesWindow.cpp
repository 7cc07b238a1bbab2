#include "PreferencesWindow.h"

#include "DeferredWindowDeletion.h"
#include "ui/PreferencesComponent.h"

PreferencesWindow::PreferencesWindow (juce::AudioDeviceManager& audioDeviceManager, MidiManager::Ptr midiManager,
                                      TuneKestruneEngine::Ptr engine)
    : juce::DocumentWindow ("Kestrune Tuning Utility", juce::Colours::grey,
                            juce::DocumentWindow::maximiseButton | juce::DocumentWindow::closeButton, true)
{
    content = std::make_unique<PreferencesComponent> (audioDeviceManager, midiManager, engine);
    setContentNonOwned (content.get(), true);
    setResizable (false, false);
}

PreferencesWindow::~PreferencesWindow()
{
    clearContentComponent();
    content.reset();
}

void PreferencesWindow::closeButtonPressed()
{
    DeferredWindowDeletion::deleteSoon (this);
}

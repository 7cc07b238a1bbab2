#include "PreferencesWindow.h"

#include "core/DeferredWindowDeletion.h"
#include "ui/PreferencesComponent.h"

PreferencesWindow::PreferencesWindow (juce::AudioDeviceManager& audioDeviceManager, MidiManager::Ptr midiManager,
                                      TuneKestruneEngine::Ptr engine)
    : juce::DocumentWindow ("Kestrune Tuning Utility", juce::Colours::grey,
                            juce::DocumentWindow::maximiseButton | juce::DocumentWindow::closeButton, true)
{
    content = std::make_unique<PreferencesComponent> (audioDeviceManager, midiManager, engine);
    // Native title bar before the content: switching afterwards hands the
    // space of JUCE's own title bar to the content, which then shows a grey
    // band below its picture. The later switch by the caller changes nothing.
    setUsingNativeTitleBar (true);
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

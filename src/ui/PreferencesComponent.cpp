#include "PreferencesComponent.h"

PreferencesComponent::PreferencesComponent (juce::AudioDeviceManager&, MidiManager::Ptr midi, TuneKestruneEngine::Ptr engine)
    : midiManager (midi), tuneEngine (engine)
{
    setSize (500, 400);
}

#include "MainWindowComponent.h"

MainWindowComponent::MainWindowComponent (TuneKestruneEngine::Ptr engine, juce::ApplicationCommandManager*) : tuneEngine (engine)
{
    setSize (700, 500);
}

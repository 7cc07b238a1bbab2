#pragma once

#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

// Stand-in until the window's content is built.
class MainWindowComponent : public juce::Component
{
public:
    explicit MainWindowComponent (TuneKestruneEngine::Ptr engine, juce::ApplicationCommandManager*);

private:
    TuneKestruneEngine::Ptr tuneEngine;
};

#pragma once

#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

// Stand-in until the window's content is built.
class FirmwareUpdateComponent : public juce::Component
{
public:
    explicit FirmwareUpdateComponent (TuneKestruneEngine::Ptr engine);

private:
    TuneKestruneEngine::Ptr tuneEngine;
};

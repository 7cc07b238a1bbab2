#pragma once

#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

// Stand-in until the window's content is built.
class TuneKnobCalibrationComponent : public juce::Component
{
public:
    explicit TuneKnobCalibrationComponent (TuneKestruneEngine::Ptr engine);

private:
    TuneKestruneEngine::Ptr tuneEngine;
};

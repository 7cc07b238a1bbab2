#pragma once

#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class TuneKnobCalibrationComponent;

// The window of the knob step. Closing it leaves the engine listening with the
// reference note sounding; only Continue begins the tuning run.
class TuneKnobCalibrationWindow : public juce::DocumentWindow
{
public:
    explicit TuneKnobCalibrationWindow (TuneKestruneEngine::Ptr engine);
    ~TuneKnobCalibrationWindow() override;

    // Deletes the window, after the click that asked for it has been handled.
    void closeButtonPressed() override;

    TuneKnobCalibrationComponent* getTuneKnobCalibrationComponent() const { return content.get(); }

private:
    std::unique_ptr<TuneKnobCalibrationComponent> content;

    JUCE_DECLARE_WEAK_REFERENCEABLE (TuneKnobCalibrationWindow)
    JUCE_DECLARE_NON_COPYABLE (TuneKnobCalibrationWindow)
};

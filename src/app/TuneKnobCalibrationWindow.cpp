#include "TuneKnobCalibrationWindow.h"

#include "core/DeferredWindowDeletion.h"
#include "ui/TuneKnobCalibrationComponent.h"

TuneKnobCalibrationWindow::TuneKnobCalibrationWindow (TuneKestruneEngine::Ptr engine)
    : juce::DocumentWindow ("Kestrune Tuning Utility", juce::Colours::grey,
                            juce::DocumentWindow::maximiseButton | juce::DocumentWindow::closeButton, true)
{
    content = std::make_unique<TuneKnobCalibrationComponent> (engine);
    // Native title bar before the content: switching afterwards hands the
    // space of JUCE's own title bar to the content, which then shows a grey
    // band below its picture. The later switch by the caller changes nothing.
    setUsingNativeTitleBar (true);
    setContentNonOwned (content.get(), true);
    setSize (content->getWidth(), content->getHeight());
    setResizable (false, false);
}

TuneKnobCalibrationWindow::~TuneKnobCalibrationWindow()
{
    clearContentComponent();
    content.reset();
}

void TuneKnobCalibrationWindow::closeButtonPressed()
{
    content->windowClosing();
    DeferredWindowDeletion::deleteSoon (this);
}

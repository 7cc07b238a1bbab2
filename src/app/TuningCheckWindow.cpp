#include "TuningCheckWindow.h"

#include "core/DeferredWindowDeletion.h"

TuningCheckWindow::TuningCheckWindow (std::unique_ptr<TuningCheckComponent> contentToShow)
    : juce::DocumentWindow ("Kestrune Tuning Check", juce::Colours::grey,
                            juce::DocumentWindow::minimiseButton | juce::DocumentWindow::closeButton, true),
      content (std::move (contentToShow))
{
    // Native title bar before the content: switching afterwards hands the
    // space of JUCE's own title bar to the content, which then shows a grey
    // band below its picture.
    setUsingNativeTitleBar (true);
    setContentNonOwned (content.get(), true);
    setResizable (false, false);
}

TuningCheckWindow::~TuningCheckWindow()
{
    clearContentComponent();
    content.reset();
}

void TuningCheckWindow::closeButtonPressed()
{
    DeferredWindowDeletion::deleteSoon (this);
}

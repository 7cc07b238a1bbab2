#include "ProgressDisplayWithBackground.h"

#include <cmath>

namespace
{
constexpr int barInset = 3;
// Still drawn as a full bar and as 100%. At 1.0 or above, juce::ProgressBar
// repaints itself every 30 ms for as long as the value stays, and each of those
// repaints redraws the window's picture under the see-through bar.
const double fullBar = std::nextafter (1.0, 0.0);
} // namespace

ProgressDisplayWithBackground::ProgressDisplayWithBackground (const juce::Image& frame)
{
    progressBar = std::make_unique<juce::ProgressBar> (shownProgress);
    progressBar->setSize (frame.getWidth() - 2 * barInset, frame.getHeight());

    frameImage.setImage (frame);
    frameImage.setSize (frame.getWidth(), frame.getHeight());

    progressBar->setColour (juce::ProgressBar::backgroundColourId, juce::Colours::transparentBlack);
    progressBar->setColour (juce::ProgressBar::foregroundColourId, juce::Colour (0xFF8B0000));
    progressBar->setColour (juce::Label::textColourId, juce::Colours::white);

    addAndMakeVisible (frameImage);
    addAndMakeVisible (*progressBar);
    frameImage.toFront (false);
}

ProgressDisplayWithBackground::~ProgressDisplayWithBackground() = default;

void ProgressDisplayWithBackground::setProgress (double newProgress)
{
    progress = newProgress;
    shownProgress = juce::jmin (newProgress, fullBar);
}

void ProgressDisplayWithBackground::resized()
{
    frameImage.setTopLeftPosition (0, 0);
    progressBar->setTopLeftPosition (barInset, 0);
}

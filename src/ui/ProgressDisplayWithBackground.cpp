#include "ProgressDisplayWithBackground.h"

namespace
{
constexpr int barInset = 3;
}

ProgressDisplayWithBackground::ProgressDisplayWithBackground (const juce::Image& frame)
{
    progressBar = std::make_unique<juce::ProgressBar> (progress);
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

void ProgressDisplayWithBackground::resized()
{
    frameImage.setTopLeftPosition (0, 0);
    progressBar->setTopLeftPosition (barInset, 0);
}

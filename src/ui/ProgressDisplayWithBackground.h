#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// A progress bar seen through a frame picture: the bar sits 3 pixels inside
// the frame on either side and the frame is drawn over it.
class ProgressDisplayWithBackground : public juce::Component
{
public:
    explicit ProgressDisplayWithBackground (const juce::Image& frame);
    ~ProgressDisplayWithBackground() override;

    // 0.0 to 1.0; the bar picks the value up on its own refresh.
    void setProgress (double newProgress);
    double getProgress() const { return progress; }

    void resized() override;

private:
    double progress = 0.0;
    // What the bar watches, declared before it: a full bar is held just
    // below 1.0, where juce::ProgressBar stops redrawing an unchanged value.
    double shownProgress = 0.0;
    std::unique_ptr<juce::ProgressBar> progressBar;
    juce::ImageComponent frameImage;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProgressDisplayWithBackground)
};

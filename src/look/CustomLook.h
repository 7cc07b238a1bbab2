#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Progress bars as a red vertical gradient inside a 1-pixel margin, with the
// bar's text centred in white. Everything else is the framework's V3 look.
class CustomLook : public juce::LookAndFeel_V3
{
public:
    void drawProgressBar (juce::Graphics&, juce::ProgressBar&, int width, int height,
                          double progress, const juce::String& textToShow) override;
};

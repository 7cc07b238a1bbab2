#include <gtest/gtest.h>

#include "look/CustomLook.h"

TEST (CustomLook, ProgressBarFillsInsideAOnePixelFrameInProportionToTheProgress)
{
    double value = 0.0;
    juce::ProgressBar bar (value);
    const juce::Colour background (0xff0000ff); // unlike any fill colour
    bar.setColour (juce::ProgressBar::backgroundColourId, background);
    CustomLook look;
    // Inner width 100: x 1 to 100. Out of range or indeterminate: no fill.
    for (auto [progress, filledTo] : { std::pair { 0.0, 0 }, { 0.5, 50 }, { 1.0, 100 }, { -1.0, 0 }, { 1.5, 0 } })
    {
        juce::Image image (juce::Image::ARGB, 102, 20, true, juce::SoftwareImageType());
        juce::Graphics g (image);
        look.drawProgressBar (g, bar, 102, 20, progress, {});
        for (int x = 0; x < 102; ++x)
        {
            const auto c = image.getPixelAt (x, 10);
            EXPECT_EQ (c.getRed() > 0x90 && c.getBlue() < 0x60, x >= 1 && x <= filledTo) << progress << " at " << x;
            EXPECT_EQ (image.getPixelAt (x, 0), background) << progress << " at " << x;
        }
    }
}

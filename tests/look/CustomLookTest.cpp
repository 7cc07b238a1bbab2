#include <gtest/gtest.h>

#include "look/CustomLook.h"

namespace
{
juce::Image drawBar (int width, double progress, const juce::String& text)
{
    double value = 0.0;
    juce::ProgressBar bar (value);
    bar.setColour (juce::ProgressBar::backgroundColourId, juce::Colour (0xff0000ff)); // unlike any fill colour
    CustomLook look;
    juce::Image image (juce::Image::ARGB, width, 20, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    look.drawProgressBar (g, bar, width, 20, progress, text);
    return image;
}
} // namespace

TEST (CustomLook, ProgressBarFillsInsideAOnePixelFrameInProportionAndShowsItsTextInWhite)
{
    // Inner width 100: x 1 to 100. Out of range or indeterminate: no fill.
    const std::pair<double, int> cases[] = { { 0.0, 0 }, { 0.5, 50 }, { 1.0, 100 }, { -1.0, 0 }, { 1.5, 0 } };
    for (auto [progress, filledTo] : cases)
    {
        const auto image = drawBar (102, progress, {});
        for (int x = 0; x < 102; ++x)
        {
            const auto c = image.getPixelAt (x, 10);
            const bool filled = x >= 1 && x <= filledTo;
            EXPECT_EQ (c.getRed() > 0x90 && c.getBlue() < 0x60, filled) << progress << " at " << x;
            EXPECT_EQ (image.getPixelAt (x, 0), juce::Colour (0xff0000ff)) << progress << " at " << x;
        }
    }

    // Busy text: white (red and green equal over the blue) and centred.
    const auto image = drawBar (200, -1.0, "Busy");
    int left = 200, right = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 200; ++x)
            if (const auto c = image.getPixelAt (x, y); c.getRed() > 0x80)
            {
                EXPECT_EQ (c.getRed(), c.getGreen());
                left = juce::jmin (left, x);
                right = juce::jmax (right, x);
            }
    ASSERT_LT (left, right);
    EXPECT_NEAR (left + right, 199, 3);
}

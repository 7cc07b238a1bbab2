#include <gtest/gtest.h>

#include "look/ComboBoxMenuItemLookAndFeel.h"

namespace
{
juce::Image blank (int width, int height)
{
    return juce::Image (juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
}

// Whether any near-black (text) pixel is in these columns.
bool hasDarkText (const juce::Image& image, int fromX, int toX)
{
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = fromX; x < toX; ++x)
        {
            const auto c = image.getPixelAt (x, y);
            if (c.getAlpha() > 0x80 && c.getRed() < 0x60 && c.getGreen() < 0x60)
                return true;
        }
    return false;
}
} // namespace

TEST (ComboBoxMenuItemLookAndFeel, PopupRowsAreBlackLeftAlignedTextOnWhiteTheHighlightedOneRed)
{
    ComboBoxMenuItemLookAndFeel look;
    auto panel = blank (100, 60);
    {
        juce::Graphics g (panel);
        look.drawPopupMenuBackground (g, 100, 60);
    }
    EXPECT_EQ (panel.getPixelAt (50, 30), juce::Colour (0xffffffff));
    EXPECT_LT (panel.getPixelAt (0, 0).getAlpha(), 0x80); // rounded corner

    for (const bool highlighted : { false, true })
    {
        SCOPED_TRACE (highlighted);
        auto row = blank (160, 40);
        {
            juce::Graphics g (row);
            look.drawPopupMenuItem (g, { 0, 0, 160, 40 }, false, true, highlighted, false, false, "Kestrune Jack 1",
                                    {}, nullptr, nullptr);
        }
        EXPECT_EQ (row.getPixelAt (155, 35), highlighted ? juce::Colour (0xffff0000) : juce::Colour());
        EXPECT_TRUE (hasDarkText (row, 0, 3));
    }
}

TEST (ComboBoxMenuItemLookAndFeel, ListIsAWhiteBoxWithItsArrowAtTheRight)
{
    ComboBoxMenuItemLookAndFeel look;
    juce::ComboBox box;
    const juce::Colour arrow (0xff008000);
    box.setColour (juce::ComboBox::arrowColourId, arrow);
    auto image = blank (200, 25);
    {
        juce::Graphics g (image);
        look.drawComboBox (g, 200, 25, false, 170, 0, 30, 25, box);
    }
    EXPECT_EQ (image.getPixelAt (100, 12), juce::Colour (0xffffffff));
    EXPECT_EQ (image.getPixelAt (189, 12), arrow);
    EXPECT_EQ (image.getPixelAt (170, 12), juce::Colour (0xffffffff));
}

#include <gtest/gtest.h>

#include "look/ComboBoxMenuItemLookAndFeel.h"

TEST (ComboBoxMenuItemLookAndFeel, ListAndPopupAreWhiteWithBlackTextTheHighlightedRowRed)
{
    ComboBoxMenuItemLookAndFeel look;
    juce::ComboBox box;
    box.setColour (juce::ComboBox::arrowColourId, juce::Colour (0xff008000));
    juce::Image image (juce::Image::ARGB, 200, 40, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    look.drawComboBox (g, 200, 25, false, 170, 0, 30, 25, box);
    EXPECT_EQ (image.getPixelAt (100, 12), juce::Colour (0xffffffff));
    EXPECT_EQ (image.getPixelAt (189, 12), juce::Colour (0xff008000)); // the arrow
    look.drawPopupMenuBackground (g, 200, 40);
    EXPECT_EQ (image.getPixelAt (100, 30), juce::Colour (0xffffffff));

    for (const bool highlighted : { false, true })
    {
        image.clear (image.getBounds());
        look.drawPopupMenuItem (g, { 0, 0, 160, 40 }, false, true, highlighted, false, false, "Kestrune Jack 1", {},
                                nullptr, nullptr);
        EXPECT_EQ (image.getPixelAt (155, 35), highlighted ? juce::Colour (0xffff0000) : juce::Colour()) << highlighted;
        bool textAtTheLeft = false;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 3; ++x)
                textAtTheLeft |= image.getPixelAt (x, y).getAlpha() > 0x80 && image.getPixelAt (x, y).getRed() < 0x60;
        EXPECT_TRUE (textAtTheLeft) << highlighted;
    }
}

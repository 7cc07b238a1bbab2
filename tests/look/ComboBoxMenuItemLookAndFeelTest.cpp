#include <gtest/gtest.h>

#include "look/ComboBoxMenuItemLookAndFeel.h"

namespace
{
    juce::Image blank (int width, int height)
    {
        return juce::Image (juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
    }

    bool samePixels (const juce::Image& a, const juce::Image& b)
    {
        if (a.getBounds() != b.getBounds())
            return false;

        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                    return false;

        return true;
    }

    bool isOpaqueWhite (juce::Colour c) { return c == juce::Colour (0xffffffff); }

    // Straight path edges on pixel boundaries may lose a step of coverage.
    bool isWhiteEdge (juce::Colour c)
    {
        return c.getAlpha() >= 0xf8 && c.getRed() == 0xff && c.getGreen() == 0xff && c.getBlue() == 0xff;
    }

    struct PopupRow
    {
        bool separator = false, active = true, highlighted = false, ticked = false, subMenu = false;
        juce::String text = "Kestrune Jack 1", shortcut;
        const juce::Colour* textColour = nullptr;
    };

    juce::Image drawRow (ComboBoxMenuItemLookAndFeel& look, const PopupRow& row, int width = 160, int height = 40)
    {
        auto image = blank (width, height);
        juce::Graphics g (image);
        look.drawPopupMenuItem (g, { 0, 0, width, height }, row.separator, row.active, row.highlighted, row.ticked,
                                row.subMenu, row.text, row.shortcut, nullptr, row.textColour);
        return image;
    }

    // Rows spanned by dark (text) pixels.
    juce::Range<int> darkRows (const juce::Image& image)
    {
        int top = image.getHeight(), bottom = -1;

        for (int y = 0; y < image.getHeight(); ++y)
        {
            for (int x = 0; x < image.getWidth(); ++x)
            {
                const auto c = image.getPixelAt (x, y);

                if (c.getAlpha() > 0x80 && c.getRed() < 0x60 && c.getGreen() < 0x60)
                {
                    top = juce::jmin (top, y);
                    bottom = juce::jmax (bottom, y);
                }
            }
        }

        return { top, bottom + 1 };
    }
}

TEST (ComboBoxMenuItemLookAndFeel, PopupBackgroundIsAWhiteRoundedPanel)
{
    ComboBoxMenuItemLookAndFeel look;
    auto image = blank (100, 60);
    {
        juce::Graphics g (image);
        look.drawPopupMenuBackground (g, 100, 60);
    }

    EXPECT_TRUE (isOpaqueWhite (image.getPixelAt (50, 30)));

    for (auto edge : { juce::Point<int> (50, 0), { 0, 30 }, { 99, 30 }, { 50, 59 }, { 4, 1 }, { 95, 58 } })
        EXPECT_TRUE (isWhiteEdge (image.getPixelAt (edge.x, edge.y))) << edge.toString();

    // Rounded corners: the corner pixels are (almost) uncovered.
    for (auto corner : { juce::Point<int> (0, 0), { 99, 0 }, { 0, 59 }, { 99, 59 } })
        EXPECT_LT (image.getPixelAt (corner.x, corner.y).getAlpha(), 0x80) << corner.toString();
}

TEST (ComboBoxMenuItemLookAndFeel, HighlightedRowIsRedWithBlackLeftAlignedText)
{
    ComboBoxMenuItemLookAndFeel look;
    PopupRow row;
    row.highlighted = true;
    const auto image = drawRow (look, row);

    EXPECT_EQ (image.getPixelAt (155, 35), juce::Colour (0xffff0000));
    EXPECT_EQ (image.getPixelAt (0, 0), juce::Colour (0xffff0000));

    // Near-black text starting at the left edge. The flag is horizontal only,
    // which the framework's text layout centres vertically in the row.
    const auto rows = darkRows (image);
    ASSERT_FALSE (rows.isEmpty());
    EXPECT_NEAR (rows.getStart() + rows.getEnd(), 40, 6);

    int darkest = 0xff, leftmost = 160;

    for (int y = rows.getStart(); y < rows.getEnd(); ++y)
    {
        for (int x = 0; x < 160; ++x)
        {
            const auto c = image.getPixelAt (x, y);

            if (c.getRed() < 0x60)
                leftmost = juce::jmin (leftmost, x);

            darkest = juce::jmin (darkest, (int) c.getRed());
            ASSERT_LT (c.getGreen(), 0x08);   // black over red: never any green or blue
            ASSERT_LT (c.getBlue(), 0x08);
        }
    }

    EXPECT_LT (darkest, 0x30);
    EXPECT_LE (leftmost, 2);
}

TEST (ComboBoxMenuItemLookAndFeel, PlainRowDrawsOnlyItsText)
{
    ComboBoxMenuItemLookAndFeel look;
    const auto image = drawRow (look, {});

    EXPECT_EQ (image.getPixelAt (155, 35).getAlpha(), 0);
    EXPECT_FALSE (darkRows (image).isEmpty());
}

TEST (ComboBoxMenuItemLookAndFeel, DisabledTickedAndDecoratedRowsLookLikeAPlainOne)
{
    ComboBoxMenuItemLookAndFeel look;

    for (bool highlighted : { false, true })
    {
        PopupRow plain;
        plain.highlighted = highlighted;
        const auto expected = drawRow (look, plain);

        PopupRow disabled = plain;
        disabled.active = false;
        EXPECT_TRUE (samePixels (drawRow (look, disabled), expected)) << highlighted;

        const juce::Colour green (0xff00ff00);
        PopupRow decorated = plain;
        decorated.ticked = true;
        decorated.subMenu = true;
        decorated.shortcut = "Ctrl+K";
        decorated.textColour = &green;
        EXPECT_TRUE (samePixels (drawRow (look, decorated), expected)) << highlighted;
    }
}

TEST (ComboBoxMenuItemLookAndFeel, SeparatorDrawsNoLine)
{
    ComboBoxMenuItemLookAndFeel look;
    PopupRow separator;
    separator.separator = true;
    separator.text = {};
    EXPECT_TRUE (samePixels (drawRow (look, separator), blank (160, 40)));
}

TEST (ComboBoxMenuItemLookAndFeel, ListIsAWhiteRoundedBoxWithItsTriangleBelowTheMiddle)
{
    ComboBoxMenuItemLookAndFeel look;
    juce::ComboBox box;
    const juce::Colour arrow (0xff008000);
    box.setColour (juce::ComboBox::arrowColourId, arrow);

    auto draw = [&] (bool down)
    {
        auto image = blank (200, 25);
        juce::Graphics g (image);
        look.drawComboBox (g, 200, 25, down, 170, 0, 30, 25, box);
        return image;
    };

    const auto image = draw (false);
    EXPECT_TRUE (isOpaqueWhite (image.getPixelAt (100, 0)));
    EXPECT_TRUE (isOpaqueWhite (image.getPixelAt (100, 24)));
    EXPECT_TRUE (isOpaqueWhite (image.getPixelAt (5, 12)));
    EXPECT_LT (image.getPixelAt (0, 0).getAlpha(), 0x40);
    EXPECT_LT (image.getPixelAt (199, 24).getAlpha(), 0x40);

    // Triangle: base along y 12 from x 185 to 195, tip at (190, 16).
    auto greenAt = [&] (int x, int y) { return image.getPixelAt (x, y).getRed() < 0xf0; };

    for (int y = 12; y < 16; ++y)
        EXPECT_TRUE (greenAt (190, y)) << y;

    EXPECT_TRUE (isOpaqueWhite (image.getPixelAt (190, 11)));
    EXPECT_TRUE (isOpaqueWhite (image.getPixelAt (190, 16)));
    EXPECT_EQ (image.getPixelAt (189, 12), arrow);
    EXPECT_TRUE (greenAt (186, 12));
    EXPECT_TRUE (greenAt (194, 12));
    EXPECT_TRUE (isOpaqueWhite (image.getPixelAt (183, 12)));
    EXPECT_TRUE (isOpaqueWhite (image.getPixelAt (197, 12)));

    // No pressed look.
    EXPECT_TRUE (samePixels (draw (true), image));
}

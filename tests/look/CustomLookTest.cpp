#include <gtest/gtest.h>

#include "look/CustomLook.h"

namespace
{
    const juce::Colour background (0xff0000ff);   // distinct from every colour of the fill

    struct ProgressBarDrawing : public ::testing::Test
    {
        double value = 0.0;
        juce::ProgressBar bar { value };
        CustomLook look;

        ProgressBarDrawing()
        {
            bar.setColour (juce::ProgressBar::backgroundColourId, background);
        }

        juce::Image draw (int width, int height, double progress, const juce::String& text = {})
        {
            juce::Image image (juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
            juce::Graphics g (image);
            look.drawProgressBar (g, bar, width, height, progress, text);
            return image;
        }

        static bool isBackground (const juce::Image& image, int x, int y)
        {
            return image.getPixelAt (x, y) == background;
        }

        // A pixel of the red fill: strong red, little green, no blue background in it.
        static bool isFill (const juce::Image& image, int x, int y)
        {
            const auto c = image.getPixelAt (x, y);
            return c.getRed() > 0x90 && c.getBlue() < 0x60 && c.getGreen() < 0x40;
        }

        static void expectNear (juce::Colour actual, juce::uint32 expected, int tolerance)
        {
            const juce::Colour e (expected);
            EXPECT_NEAR (actual.getRed(), e.getRed(), tolerance) << actual.toString();
            EXPECT_NEAR (actual.getGreen(), e.getGreen(), tolerance) << actual.toString();
            EXPECT_NEAR (actual.getBlue(), e.getBlue(), tolerance) << actual.toString();
            EXPECT_EQ (actual.getAlpha(), 0xff);
        }
    };
}

TEST_F (ProgressBarDrawing, ZeroProgressShowsOnlyTheBackground)
{
    const auto image = draw (120, 20, 0.0);

    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 120; ++x)
            ASSERT_TRUE (isBackground (image, x, y)) << x << "," << y;
}

TEST_F (ProgressBarDrawing, FullProgressFillsAllButAOnePixelFrame)
{
    const int w = 120, h = 20;
    const auto image = draw (w, h, 1.0);

    for (int x = 0; x < w; ++x)
    {
        EXPECT_TRUE (isBackground (image, x, 0)) << x;
        EXPECT_TRUE (isBackground (image, x, h - 1)) << x;
    }

    for (int y = 0; y < h; ++y)
    {
        EXPECT_TRUE (isBackground (image, 0, y)) << y;
        EXPECT_TRUE (isBackground (image, w - 1, y)) << y;
    }

    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x)
            ASSERT_TRUE (isFill (image, x, y)) << x << "," << y;
}

TEST_F (ProgressBarDrawing, FillWidthIsProportionalToProgress)
{
    // Inner width 100: half progress fills x 1 to 50.
    const auto image = draw (102, 20, 0.5);

    EXPECT_TRUE (isFill (image, 1, 10));
    EXPECT_TRUE (isFill (image, 50, 10));
    EXPECT_TRUE (isBackground (image, 51, 10));
    EXPECT_TRUE (isBackground (image, 100, 10));
}

TEST_F (ProgressBarDrawing, GradientRunsVerticallyFromTheTopColourToThe30PercentStop)
{
    const int h = 40;
    const auto image = draw (60, h, 1.0);

    // Same colour along every row.
    for (int y = 1; y < h - 1; ++y)
        for (int x = 2; x < 59; ++x)
            ASSERT_EQ (image.getPixelAt (x, y), image.getPixelAt (1, y)) << x << "," << y;

    // The first fill row is close to the top colour; from 30 % down the fill
    // keeps the 0xFFCB294F stop: the 0xFF9E0414 stop added at the very bottom
    // only takes the last entry of the colour table, below the last filled row.
    expectNear (image.getPixelAt (10, 1), 0xffc51530, 4);
    expectNear (image.getPixelAt (10, h / 2), 0xffcb294f, 1);
    expectNear (image.getPixelAt (10, h - 2), 0xffcb294f, 1);
}

TEST_F (ProgressBarDrawing, IndeterminateOrOutOfRangeProgressDrawsNoFill)
{
    for (double progress : { -1.0, 1.5 })
    {
        const auto image = draw (120, 20, progress, "Busy");
        bool sawText = false;

        for (int y = 0; y < 20; ++y)
        {
            for (int x = 0; x < 120; ++x)
            {
                // Blends of the blue background and white text only: red equals green.
                const auto c = image.getPixelAt (x, y);
                ASSERT_EQ (c.getRed(), c.getGreen()) << progress << " at " << x << "," << y;
                sawText = sawText || c.getRed() > 0x80;
            }
        }

        EXPECT_TRUE (sawText) << progress;
    }
}

TEST_F (ProgressBarDrawing, TextIsWhiteCentredAtSixTenthsOfTheBarHeight)
{
    bar.setColour (juce::ProgressBar::backgroundColourId, juce::Colours::transparentBlack);
    const auto image = draw (200, 20, -1.0, "42%");

    auto reference = [] (float fontHeight)
    {
        juce::Image expected (juce::Image::ARGB, 200, 20, true, juce::SoftwareImageType());
        juce::Graphics g (expected);
        g.setColour (juce::Colours::white);
        g.setFont (juce::Font (fontHeight));
        g.drawText ("42%", 0, 0, 200, 20, juce::Justification::centred, false);
        return expected;
    };

    auto samePixels = [] (const juce::Image& a, const juce::Image& b)
    {
        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                    return false;

        return true;
    };

    EXPECT_TRUE (samePixels (image, reference (12.0f)));
    EXPECT_FALSE (samePixels (image, reference (14.0f)));   // the comparison does see the size

    // White, and centred horizontally.
    int left = 200, right = -1;

    for (int y = 0; y < 20; ++y)
    {
        for (int x = 0; x < 200; ++x)
        {
            const auto c = image.getPixelAt (x, y);

            if (c.getAlpha() > 0)
            {
                ASSERT_EQ (c.getRed(), 0xff);
                ASSERT_EQ (c.getGreen(), 0xff);
                ASSERT_EQ (c.getBlue(), 0xff);
                left = juce::jmin (left, x);
                right = juce::jmax (right, x);
            }
        }
    }

    ASSERT_LT (left, right);
    EXPECT_NEAR (left + right, 199, 3);
}

TEST_F (ProgressBarDrawing, TooNarrowBarDrawsOnlyItsBackground)
{
    const auto image = draw (1, 10, 1.0);

    for (int y = 0; y < 10; ++y)
        EXPECT_TRUE (isBackground (image, 0, y));
}

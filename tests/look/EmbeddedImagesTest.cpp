#include <gtest/gtest.h>

#include "EmbeddedData.h"

#include <juce_graphics/juce_graphics.h>

namespace
{
    struct Picture
    {
        const char* name;
        const char* data;
        int size;
        int width, height;
    };

#define KESTRUNE_PICTURE(name, w, h) Picture { #name, EmbeddedData::name, EmbeddedData::name##Size, w, h }

    const Picture pictures[] = {
        KESTRUNE_PICTURE (aboutBackground, 400, 311),
        KESTRUNE_PICTURE (firmwareBackground, 400, 311),
        KESTRUNE_PICTURE (updateButtonOver, 212, 56),
        KESTRUNE_PICTURE (updateButtonNormal, 212, 56),
        KESTRUNE_PICTURE (updateButtonDown, 212, 56),
        KESTRUNE_PICTURE (knobBackground, 400, 311),
        KESTRUNE_PICTURE (continueButtonOver, 204, 56),
        KESTRUNE_PICTURE (continueButtonNormal, 204, 56),
        KESTRUNE_PICTURE (continueButtonDown, 204, 56),
        KESTRUNE_PICTURE (counterClockwiseArrowOff, 49, 104),
        KESTRUNE_PICTURE (counterClockwiseArrowOn, 49, 104),
        KESTRUNE_PICTURE (clockwiseArrowOff, 49, 104),
        KESTRUNE_PICTURE (clockwiseArrowOn, 49, 104),
        KESTRUNE_PICTURE (headOff, 120, 89),
        KESTRUNE_PICTURE (headOn, 120, 89),
        KESTRUNE_PICTURE (okButtonOver, 115, 56),
        KESTRUNE_PICTURE (okButtonNormal, 115, 56),
        KESTRUNE_PICTURE (okButtonDown, 115, 56),
        KESTRUNE_PICTURE (preferencesBackground, 400, 500),
        KESTRUNE_PICTURE (cancelButtonOver, 115, 56),
        KESTRUNE_PICTURE (cancelButtonNormal, 115, 56),
        KESTRUNE_PICTURE (cancelButtonDown, 115, 56),
        KESTRUNE_PICTURE (ledGreen, 16, 16),
        KESTRUNE_PICTURE (ledOff, 16, 16),
        KESTRUNE_PICTURE (ledRed, 16, 16),
        KESTRUNE_PICTURE (ledYellow, 16, 16),
        KESTRUNE_PICTURE (calibrateButtonOver, 212, 56),
        KESTRUNE_PICTURE (calibrateButtonNormal, 212, 56),
        KESTRUNE_PICTURE (calibrateButtonDown, 212, 56),
        KESTRUNE_PICTURE (stopButtonOver, 212, 56),
        KESTRUNE_PICTURE (stopButtonNormal, 212, 56),
        KESTRUNE_PICTURE (stopButtonDown, 212, 56),
        KESTRUNE_PICTURE (mainBackground, 700, 500),
        KESTRUNE_PICTURE (progressBackground, 408, 32),
        KESTRUNE_PICTURE (checkBackground, 700, 500),
        KESTRUNE_PICTURE (stopCheckButtonOver, 115, 56),
        KESTRUNE_PICTURE (stopCheckButtonNormal, 115, 56),
        KESTRUNE_PICTURE (stopCheckButtonDown, 115, 56),
        KESTRUNE_PICTURE (saveButtonOver, 115, 56),
        KESTRUNE_PICTURE (saveButtonNormal, 115, 56),
        KESTRUNE_PICTURE (saveButtonDown, 115, 56),
    };

#undef KESTRUNE_PICTURE

    juce::Image load (const char* data, int size)
    {
        return juce::ImageCache::getFromMemory (data, size);
    }

    juce::uint32 bigEndian32 (const char* p)
    {
        auto b = reinterpret_cast<const juce::uint8*> (p);
        return ((juce::uint32) b[0] << 24) | ((juce::uint32) b[1] << 16) | ((juce::uint32) b[2] << 8) | b[3];
    }

    float luminance (juce::Colour c)
    {
        return 0.3f * c.getFloatRed() + 0.59f * c.getFloatGreen() + 0.11f * c.getFloatBlue();
    }

    float meanLuminance (const juce::Image& image, juce::Rectangle<int> area)
    {
        float sum = 0.0f;

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                sum += luminance (image.getPixelAt (x, y));

        return sum / (float) (area.getWidth() * area.getHeight());
    }

    bool isGreyish (juce::Colour c)
    {
        return std::abs (c.getRed() - c.getBlue()) < 24 && std::abs (c.getRed() - c.getGreen()) < 24;
    }

    bool isReddish (juce::Colour c)
    {
        return c.getRed() > 150 && c.getGreen() < 100 && c.getBlue() < 100;
    }

    // The most opaque pixel's colour in an area (antialiased edges excluded).
    juce::Colour solidColourIn (const juce::Image& image, juce::Rectangle<int> area)
    {
        juce::Colour best;

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                if (image.getPixelAt (x, y).getAlpha() > best.getAlpha())
                    best = image.getPixelAt (x, y);

        return best;
    }

    int countPixels (const juce::Image& image, juce::Rectangle<int> area, std::function<bool (juce::Colour)> predicate)
    {
        int count = 0;

        for (int y = area.getY(); y < area.getBottom(); ++y)
            for (int x = area.getX(); x < area.getRight(); ++x)
                count += predicate (image.getPixelAt (x, y)) ? 1 : 0;

        return count;
    }

    juce::Image picture (const char* data, int size) { return load (data, size); }
}

TEST (EmbeddedImages, TableHasFortyOneDistinctPictures)
{
    juce::StringArray names;

    for (auto& p : pictures)
        names.addIfNotAlreadyThere (p.name);

    EXPECT_EQ (names.size(), 41);
}

TEST (EmbeddedImages, EveryPictureIsAnRgbaNonInterlacedPngOfItsTableSize)
{
    for (auto& p : pictures)
    {
        SCOPED_TRACE (p.name);
        ASSERT_GT (p.size, 33);

        // Signature, then the IHDR chunk: width, height, bit depth, colour type,
        // compression, filter, interlace.
        EXPECT_EQ (juce::String::fromUTF8 (p.data + 1, 3), "PNG");
        EXPECT_EQ (juce::String::fromUTF8 (p.data + 12, 4), "IHDR");
        EXPECT_EQ (bigEndian32 (p.data + 16), (juce::uint32) p.width);
        EXPECT_EQ (bigEndian32 (p.data + 20), (juce::uint32) p.height);
        EXPECT_EQ (p.data[24], 8);
        EXPECT_EQ (p.data[25], 6);
        EXPECT_EQ (p.data[28], 0);

        const auto image = load (p.data, p.size);
        ASSERT_TRUE (image.isValid());
        EXPECT_EQ (image.getWidth(), p.width);
        EXPECT_EQ (image.getHeight(), p.height);
        EXPECT_TRUE (image.hasAlphaChannel());
    }
}

TEST (EmbeddedImages, TheImageCacheDecodesEachPictureOnce)
{
    for (auto& p : pictures)
    {
        SCOPED_TRACE (p.name);
        const auto first = load (p.data, p.size);
        const auto second = load (p.data, p.size);
        EXPECT_EQ (first.getPixelData(), second.getPixelData());

        // A decode that bypasses the cache yields a separate image.
        const auto separate = juce::ImageFileFormat::loadFrom (p.data, (size_t) p.size);
        EXPECT_NE (separate.getPixelData(), first.getPixelData());
    }
}

TEST (EmbeddedImages, BackgroundsAreOpaqueDarkPhotographsWithARedTopBand)
{
    const Picture backgrounds[] = { pictures[0], pictures[1], pictures[5], pictures[18], pictures[32], pictures[34] };

    for (auto& p : backgrounds)
    {
        SCOPED_TRACE (p.name);
        const auto image = picture (p.data, p.size);
        const juce::Image::BitmapData data (image, juce::Image::BitmapData::readOnly);
        int translucent = 0, bright = 0, red = 0;
        float luminanceSum = 0.0f;

        for (int y = 0; y < data.height; ++y)
        {
            for (int x = 0; x < data.width; ++x)
            {
                const auto c = data.getPixelColour (x, y);
                const float l = luminance (c);
                translucent += c.getAlpha() != 255 ? 1 : 0;
                red += y < 46 && isReddish (c) ? 1 : 0;

                if (y >= 40)
                {
                    luminanceSum += l;
                    bright += l > 0.25f ? 1 : 0;
                }
            }
        }

        EXPECT_EQ (translucent, 0);

        // Dark enough for white text, yet a picture rather than an empty fill.
        const float mean = luminanceSum / (float) (data.width * (data.height - 40));
        EXPECT_LT (mean, 0.3f);
        EXPECT_GT (mean, 0.03f);
        EXPECT_GT (bright, data.width);

        // Red title or logotype in the top band.
        EXPECT_GT (red, 150);
    }
}

TEST (EmbeddedImages, FirmwareBackgroundFramesTheProgressBarInWhite)
{
    const auto image = picture (EmbeddedData::firmwareBackground, EmbeddedData::firmwareBackgroundSize);

    // The bar sits at (25, 189, 350, 26): white frame around it, dark inside.
    auto white = [&] (int x, int y) { return luminance (image.getPixelAt (x, y)) > 0.85f; };
    EXPECT_TRUE (white (200, 185) || white (200, 186));
    EXPECT_TRUE (white (200, 218) || white (200, 219));
    EXPECT_TRUE (white (21, 202) || white (22, 202));
    EXPECT_LT (meanLuminance (image, { 30, 192, 340, 20 }), 0.15f);
}

TEST (EmbeddedImages, ButtonsAreRoundedAndLighterOverAndDarkerDown)
{
    struct Set { const Picture* over; bool red; };
    const Set sets[] = { { &pictures[2], false }, { &pictures[6], false }, { &pictures[15], false },
                         { &pictures[19], false }, { &pictures[26], false }, { &pictures[29], true },
                         { &pictures[35], true }, { &pictures[38], false } };

    for (auto& set : sets)
    {
        SCOPED_TRACE (set.over->name);
        const auto over = picture (set.over[0].data, set.over[0].size);
        const auto normal = picture (set.over[1].data, set.over[1].size);
        const auto down = picture (set.over[2].data, set.over[2].size);
        const int w = normal.getWidth();
        const juce::Rectangle<int> face (12, 8, w - 24, 36);

        for (auto* image : { &over, &normal, &down })
        {
            // Transparent beyond the rounded corners, opaque across the face.
            EXPECT_EQ (image->getPixelAt (0, 0).getAlpha(), 0);
            EXPECT_EQ (image->getPixelAt (w - 1, 0).getAlpha(), 0);
            EXPECT_EQ (countPixels (*image, face, [] (juce::Colour c) { return c.getAlpha() != 255; }), 0);
        }

        EXPECT_GT (meanLuminance (over, face), meanLuminance (normal, face) + 0.03f);
        EXPECT_GT (meanLuminance (normal, face), meanLuminance (down, face) + 0.03f);

        const auto sample = normal.getPixelAt (w - 14, 28);   // face, clear of the text

        if (set.red)
        {
            EXPECT_TRUE (isReddish (sample)) << sample.toString();
            EXPECT_GT (countPixels (normal, face, [] (juce::Colour c) { return luminance (c) > 0.9f; }), 40);
        }
        else
        {
            EXPECT_TRUE (isGreyish (sample)) << sample.toString();
            EXPECT_GT (countPixels (normal, face, [] (juce::Colour c) { return luminance (c) < 0.2f; }), 40);
        }
    }
}

TEST (EmbeddedImages, ArrowsAreMirroredArcsGreyWhenOffAndRedWhenOn)
{
    const auto ccwOff = picture (EmbeddedData::counterClockwiseArrowOff, EmbeddedData::counterClockwiseArrowOffSize);
    const auto ccwOn = picture (EmbeddedData::counterClockwiseArrowOn, EmbeddedData::counterClockwiseArrowOnSize);
    const auto cwOff = picture (EmbeddedData::clockwiseArrowOff, EmbeddedData::clockwiseArrowOffSize);
    const auto cwOn = picture (EmbeddedData::clockwiseArrowOn, EmbeddedData::clockwiseArrowOnSize);

    for (auto* image : { &ccwOff, &ccwOn, &cwOff, &cwOn })
        for (auto corner : { juce::Point<int> (0, 103), { 48, 0 }, { 48, 103 } })
            EXPECT_EQ (image->getPixelAt (corner.x, corner.y).getAlpha(), 0) << corner.toString();

    EXPECT_TRUE (isGreyish (solidColourIn (ccwOff, ccwOff.getBounds())));
    EXPECT_TRUE (isGreyish (solidColourIn (cwOff, cwOff.getBounds())));
    EXPECT_TRUE (isReddish (solidColourIn (ccwOn, ccwOn.getBounds())));
    EXPECT_TRUE (isReddish (solidColourIn (cwOn, cwOn.getBounds())));

    // Counter-clockwise bulges to the right at mid-height, clockwise to the left.
    auto opaqueCentre = [] (const juce::Image& image, int y)
    {
        int sum = 0, count = 0;

        for (int x = 0; x < image.getWidth(); ++x)
            if (image.getPixelAt (x, y).getAlpha() > 200)
            {
                sum += x;
                ++count;
            }

        return count > 0 ? (float) sum / (float) count : -1.0f;
    };

    EXPECT_GT (opaqueCentre (ccwOff, 52), 30.0f);
    EXPECT_GE (opaqueCentre (cwOff, 52), 0.0f);
    EXPECT_LT (opaqueCentre (cwOff, 52), 19.0f);

    // The two shapes are mirror images (their solid parts; soft shadows fall
    // to the lower right in both).
    int mismatches = 0, solid = 0;

    for (int y = 0; y < 104; ++y)
    {
        for (int x = 0; x < 49; ++x)
        {
            const bool a = ccwOff.getPixelAt (x, y).getAlpha() == 255;
            const bool b = cwOff.getPixelAt (48 - x, y).getAlpha() == 255;
            solid += a ? 1 : 0;
            mismatches += a != b ? 1 : 0;
        }
    }

    EXPECT_GT (solid, 500);
    EXPECT_LT (mismatches, solid / 20);
}

TEST (EmbeddedImages, HeadEmblemIsASilhouetteOnTransparency)
{
    const auto off = picture (EmbeddedData::headOff, EmbeddedData::headOffSize);
    const auto on = picture (EmbeddedData::headOn, EmbeddedData::headOnSize);

    for (auto* image : { &off, &on })
    {
        EXPECT_EQ (image->getPixelAt (0, 0).getAlpha(), 0);
        EXPECT_EQ (image->getPixelAt (0, 88).getAlpha(), 0);
        EXPECT_GT (countPixels (*image, image->getBounds(), [] (juce::Colour c) { return c.getAlpha() == 255; }), 2500);
    }

    EXPECT_TRUE (isGreyish (solidColourIn (off, off.getBounds())));
    EXPECT_TRUE (isReddish (solidColourIn (on, on.getBounds())));
}

TEST (EmbeddedImages, LedsAreGreyRingsWithTranslucentFills)
{
    const auto off = picture (EmbeddedData::ledOff, EmbeddedData::ledOffSize);
    EXPECT_EQ (off.getPixelAt (8, 8).getAlpha(), 0);
    EXPECT_EQ (off.getPixelAt (0, 0).getAlpha(), 0);
    EXPECT_TRUE (isGreyish (solidColourIn (off, { 0, 0, 16, 4 })));
    EXPECT_GT (solidColourIn (off, { 0, 0, 16, 4 }).getAlpha(), 200);

    struct Lit { const char* data; int size; std::function<bool (juce::Colour)> hue; };
    const Lit lit[] = {
        { EmbeddedData::ledGreen, EmbeddedData::ledGreenSize, [] (juce::Colour c) { return c.getGreen() > c.getRed() + 60 && c.getGreen() > c.getBlue() + 60; } },
        { EmbeddedData::ledRed, EmbeddedData::ledRedSize, [] (juce::Colour c) { return c.getRed() > c.getGreen() + 60 && c.getRed() > c.getBlue() + 60; } },
        { EmbeddedData::ledYellow, EmbeddedData::ledYellowSize, [] (juce::Colour c) { return c.getRed() > c.getBlue() + 60 && c.getGreen() > c.getBlue() + 60; } },
    };

    for (auto& led : lit)
    {
        const auto image = picture (led.data, led.size);
        const auto centre = image.getPixelAt (9, 10);
        EXPECT_TRUE (led.hue (centre)) << centre.toString();
        EXPECT_NEAR (centre.getFloatAlpha(), 0.7f, 0.12f);
        EXPECT_EQ (image.getPixelAt (0, 0).getAlpha(), 0);
    }
}

TEST (EmbeddedImages, ProgressFrameIsALightGreyOutlineTransparentInside)
{
    const auto image = picture (EmbeddedData::progressBackground, EmbeddedData::progressBackgroundSize);

    EXPECT_EQ (image.getPixelAt (0, 0).getAlpha(), 0);
    EXPECT_EQ (image.getPixelAt (407, 31).getAlpha(), 0);
    EXPECT_EQ (countPixels (image, { 4, 4, 400, 24 }, [] (juce::Colour c) { return c.getAlpha() != 0; }), 0);

    const auto edge = solidColourIn (image, { 200, 0, 8, 3 });
    EXPECT_EQ (edge.getAlpha(), 255);
    EXPECT_NEAR (edge.getRed(), 195, 2);
    EXPECT_NEAR (edge.getGreen(), 196, 2);
    EXPECT_NEAR (edge.getBlue(), 198, 2);
    EXPECT_EQ (solidColourIn (image, { 0, 14, 3, 4 }).getAlpha(), 255);
    EXPECT_EQ (solidColourIn (image, { 405, 14, 3, 4 }).getAlpha(), 255);
}

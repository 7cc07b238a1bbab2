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
#define KESTRUNE_BUTTON(name, w, h) KESTRUNE_PICTURE (name##Over, w, h), KESTRUNE_PICTURE (name##Normal, w, h), \
                                    KESTRUNE_PICTURE (name##Down, w, h)

const Picture pictures[] = {
    KESTRUNE_PICTURE (aboutBackground, 400, 311), KESTRUNE_PICTURE (firmwareBackground, 400, 311),
    KESTRUNE_PICTURE (knobBackground, 400, 311), KESTRUNE_PICTURE (preferencesBackground, 400, 500),
    KESTRUNE_PICTURE (mainBackground, 700, 500), KESTRUNE_PICTURE (checkBackground, 700, 500),
    KESTRUNE_PICTURE (progressBackground, 408, 32),
    KESTRUNE_BUTTON (updateButton, 212, 56), KESTRUNE_BUTTON (continueButton, 204, 56),
    KESTRUNE_BUTTON (okButton, 115, 56), KESTRUNE_BUTTON (cancelButton, 115, 56),
    KESTRUNE_BUTTON (calibrateButton, 212, 56), KESTRUNE_BUTTON (stopButton, 212, 56),
    KESTRUNE_BUTTON (stopCheckButton, 115, 56), KESTRUNE_BUTTON (saveButton, 115, 56),
    KESTRUNE_PICTURE (counterClockwiseArrowOff, 49, 104), KESTRUNE_PICTURE (counterClockwiseArrowOn, 49, 104),
    KESTRUNE_PICTURE (clockwiseArrowOff, 49, 104), KESTRUNE_PICTURE (clockwiseArrowOn, 49, 104),
    KESTRUNE_PICTURE (headOff, 120, 89), KESTRUNE_PICTURE (headOn, 120, 89),
    KESTRUNE_PICTURE (ledGreen, 16, 16), KESTRUNE_PICTURE (ledOff, 16, 16),
    KESTRUNE_PICTURE (ledRed, 16, 16), KESTRUNE_PICTURE (ledYellow, 16, 16),
};

#undef KESTRUNE_BUTTON
#undef KESTRUNE_PICTURE

// The most opaque pixel's colour (antialiased edges excluded).
juce::Colour solidColour (const juce::Image& image)
{
    juce::Colour best;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (image.getPixelAt (x, y).getAlpha() > best.getAlpha())
                best = image.getPixelAt (x, y);
    return best;
}
} // namespace

TEST (EmbeddedImages, EveryPictureDecodesAtItsSizeAndTheKnobStepsOnesAreRedOnlyWhenOn)
{
    for (auto& p : pictures)
    {
        SCOPED_TRACE (p.name);
        const auto image = juce::ImageCache::getFromMemory (p.data, p.size);
        ASSERT_TRUE (image.isValid());
        EXPECT_EQ (image.getBounds(), juce::Rectangle<int> (p.width, p.height));

        const juce::String name (p.name);
        if (name.containsIgnoreCase ("arrow") || name.startsWith ("head"))
        {
            const auto c = solidColour (image);
            const bool red = c.getRed() > 150 && c.getGreen() < 100 && c.getBlue() < 100;
            EXPECT_EQ (red, name.endsWith ("On")) << c.toString();
        }
    }
}

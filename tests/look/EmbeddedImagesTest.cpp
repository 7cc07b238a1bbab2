#include <gtest/gtest.h>

#include "EmbeddedData.h"

#include <juce_graphics/juce_graphics.h>

TEST (EmbeddedImages, EveryPictureDecodesAtTheSizeItsWindowIsLaidOutFor)
{
    struct Picture
    {
        const char* name;
        const char* data;
        int size, width, height;
    };
#define PICTURE(name, w, h) Picture { #name, EmbeddedData::name, EmbeddedData::name##Size, w, h }
#define BUTTON(name, w, h) PICTURE (name##Over, w, h), PICTURE (name##Normal, w, h), PICTURE (name##Down, w, h)
    const Picture pictures[] = {
        PICTURE (aboutBackground, 400, 311), PICTURE (firmwareBackground, 400, 311), PICTURE (knobBackground, 400, 311),
        PICTURE (preferencesBackground, 400, 500), PICTURE (mainBackground, 700, 500), PICTURE (checkBackground, 700, 500),
        PICTURE (progressBackground, 408, 32), BUTTON (updateButton, 212, 56), BUTTON (continueButton, 204, 56),
        BUTTON (okButton, 115, 56), BUTTON (cancelButton, 115, 56), BUTTON (calibrateButton, 212, 56),
        BUTTON (stopButton, 212, 56), BUTTON (stopCheckButton, 115, 56), BUTTON (saveButton, 115, 56),
        PICTURE (counterClockwiseArrowOff, 49, 104), PICTURE (counterClockwiseArrowOn, 49, 104),
        PICTURE (clockwiseArrowOff, 49, 104), PICTURE (clockwiseArrowOn, 49, 104), PICTURE (headOff, 120, 89),
        PICTURE (headOn, 120, 89), PICTURE (ledGreen, 16, 16), PICTURE (ledOff, 16, 16), PICTURE (ledRed, 16, 16),
        PICTURE (ledYellow, 16, 16),
    };
#undef BUTTON
#undef PICTURE
    for (auto& p : pictures)
        EXPECT_EQ (juce::ImageCache::getFromMemory (p.data, p.size).getBounds(), juce::Rectangle<int> (p.width, p.height)) << p.name;
}

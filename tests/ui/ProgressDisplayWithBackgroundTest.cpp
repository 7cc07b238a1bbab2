#include "EmbeddedData.h"
#include "look/CustomLook.h"
#include "ui/ProgressDisplayWithBackground.h"

#include <gtest/gtest.h>

namespace
{
// Counts the repaints the display and its children ask for: a component with
// a cached image hands every repaint request to it first.
struct RepaintCounter : juce::CachedComponentImage
{
    int requests = 0;
    void paint (juce::Graphics&) override {}
    bool invalidateAll() override { ++requests; return true; }
    bool invalidate (const juce::Rectangle<int>&) override { ++requests; return true; }
    void releaseResources() override {}
};

// Runs the message loop until the display has asked for no repaint for
// quietMs; false when that never happens within the limit.
bool settles (RepaintCounter& counter, int quietMs, int limitMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) limitMs;
    while (juce::Time::getMillisecondCounter() < end)
    {
        const auto before = counter.requests;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (quietMs);
        if (counter.requests == before)
            return true;
    }
    return false;
}

bool isRed (juce::Colour c) { return c.getRed() > 150 && c.getGreen() < 90 && c.getBlue() < 110; }
} // namespace

// The bar is see-through, so each of its repaints redraws the window's
// picture under it: a value that stays must not be drawn again and again.
TEST (ProgressDisplayWithBackground, DrawsAValueOnceAndHoldsItWithoutRepainting)
{
    struct Row
    {
        double progress;
        bool filledToTheEnd;
    };
    for (const auto row : { Row { 0.0, false }, Row { 0.5, false }, Row { 1.0, true } })
    {
        SCOPED_TRACE (row.progress);
        ProgressDisplayWithBackground display (
            juce::ImageCache::getFromMemory (EmbeddedData::progressBackground, EmbeddedData::progressBackgroundSize));
        CustomLook look; // as the windows draw it
        display.setLookAndFeel (&look);
        display.setSize (408, 32);
        display.setVisible (true);
        auto* counter = new RepaintCounter(); // owned by the display
        display.setCachedComponentImage (counter);

        display.setProgress (row.progress);
        EXPECT_EQ (display.getProgress(), row.progress);
        // The bar moves towards a higher value in steps: up to 0.0008 per ms.
        ASSERT_TRUE (settles (*counter, 150, 3000)) << "still repainting after 3 s";
        const auto settled = counter->requests;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (300);
        EXPECT_EQ (counter->requests, settled) << "an unchanged value was drawn again";

        // Drawn as the value it holds: the right end of a full bar is red too.
        display.setCachedComponentImage (nullptr);
        const auto picture = display.createComponentSnapshot (display.getLocalBounds(), true, 1.0f);
        EXPECT_EQ (isRed (picture.getPixelAt (display.getWidth() - 6, display.getHeight() / 2)), row.filledToTheEnd);
        EXPECT_EQ (isRed (picture.getPixelAt (8, display.getHeight() / 2)), row.progress > 0.0);
        display.setLookAndFeel (nullptr);
    }
}

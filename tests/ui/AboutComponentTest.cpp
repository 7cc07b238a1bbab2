#include "support/ComponentTree.h"
#include "EmbeddedData.h"
#include "KestruneVersion.h"
#include "support/WindowDeletion.h"
#include "app/AboutComponent.h"

#include <gtest/gtest.h>

TEST (AboutComponent, ShowsTheVersionOnOneLineAndAClickClosesTheWindowAfterTheClick)
{
    // Stands in for the About window, which owns its content.
    struct HoldingWindow : juce::Component
    {
        HoldingWindow() { addAndMakeVisible (content); }
        AboutComponent content { juce::ImageCache::getFromMemory (EmbeddedData::aboutBackground, EmbeddedData::aboutBackgroundSize) };
    };
    juce::Component::SafePointer<HoldingWindow> window (new HoldingWindow());
    auto& content = window->content;
    auto* version = findChild<juce::Label> (content, "Software Version Text");
    ASSERT_NE (version, nullptr);
    EXPECT_EQ (version->getText(), "Software Version: " + juce::String (KestruneVersion::application));
    EXPECT_LT (version->getFont().getStringWidthFloat (version->getText()), (float) version->getWidth());

    // As delivered for a click on the version label, through the component's
    // listening to its children.
    const auto now = juce::Time::getCurrentTime();
    content.mouseUp (juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0.0f, 0.0f, 0.0f,
                                       0.0f, 0.0f, &content, version, now, {}, now, 1, false));
    EXPECT_TRUE (deletedOnlyAfterTheEvent (window));
}

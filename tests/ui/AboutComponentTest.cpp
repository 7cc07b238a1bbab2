#include "EmbeddedData.h"
#include "app/AboutComponent.h"

#include <gtest/gtest.h>

namespace
{
// Stands in for the About window, which owns its content.
struct HoldingWindow : juce::Component
{
    HoldingWindow() : content (juce::ImageCache::getFromMemory (EmbeddedData::aboutBackground, EmbeddedData::aboutBackgroundSize))
    {
        addAndMakeVisible (content);
    }
    AboutComponent content;
};
} // namespace

TEST (AboutComponent, ShowsTheVersionOnOneLineAndAClickClosesTheWindowAfterTheClick)
{
    juce::Component::SafePointer<HoldingWindow> window (new HoldingWindow());
    auto& content = window->content;
    juce::Label* version = nullptr;
    for (auto* child : content.getChildren())
        if (child->getName() == "Software Version Text")
            version = dynamic_cast<juce::Label*> (child);
    ASSERT_NE (version, nullptr);
    EXPECT_EQ (version->getText(), "Software Version: 1.1.2");
    EXPECT_LT (version->getFont().getStringWidthFloat (version->getText()), (float) version->getWidth());

    // As delivered for a click on the version label, through the component's
    // listening to its children.
    const auto now = juce::Time::getCurrentTime();
    const juce::Point<float> position (10.0f, 10.0f);
    content.mouseUp (juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), position, {}, 0.0f, 0.0f,
                                       0.0f, 0.0f, 0.0f, &content, version, now, position, now, 1, false));
    ASSERT_NE (window.getComponent(), nullptr) << "deleted inside its own click";
    juce::MessageManager::getInstance()->runDispatchLoopUntil (30);
    EXPECT_EQ (window.getComponent(), nullptr);
}

#include "EmbeddedData.h"
#include "app/AboutComponent.h"

#include <gtest/gtest.h>

namespace
{
juce::Image aboutPicture()
{
    return juce::ImageCache::getFromMemory (EmbeddedData::aboutBackground, EmbeddedData::aboutBackgroundSize);
}

juce::Label& labelNamed (juce::Component& parent, const juce::String& name)
{
    for (auto* child : parent.getChildren())
        if (auto* label = dynamic_cast<juce::Label*> (child); label != nullptr && child->getName() == name)
            return *label;
    throw std::runtime_error ("no label " + name.toStdString());
}

juce::Label& copyrightLabel (juce::Component& parent)
{
    for (auto* child : parent.getChildren())
        if (auto* label = dynamic_cast<juce::Label*> (child); label != nullptr && child->getName() != "Software Version Text")
            return *label;
    throw std::runtime_error ("no copyright label");
}

// Stands in for the About window, which owns its content.
class HoldingWindow : public juce::Component
{
public:
    HoldingWindow() : content (aboutPicture()) { addAndMakeVisible (content); }
    AboutComponent content;
};

juce::MouseEvent mouseUpOn (juce::Component& target, juce::Component& listener)
{
    const auto now = juce::Time::getCurrentTime();
    const juce::Point<float> position (10.0f, 10.0f);
    return juce::MouseEvent (juce::Desktop::getInstance().getMainMouseSource(), position, {}, 0.0f, 0.0f, 0.0f, 0.0f,
                             0.0f, &listener, &target, now, position, now, 1, false);
}

void deliverPendingMessages()
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (30);
}
} // namespace

TEST (AboutComponent, TakesThePicturesSizeAndCoversItWithThePicture)
{
    AboutComponent component (aboutPicture());

    EXPECT_EQ (component.getBounds(), juce::Rectangle<int> (0, 0, 400, 311));
    auto* image = dynamic_cast<juce::ImageComponent*> (component.getChildren().getFirst());
    ASSERT_NE (image, nullptr);
    EXPECT_EQ (image->getBounds(), component.getLocalBounds());
    EXPECT_EQ (image->getImage(), aboutPicture());
}

TEST (AboutComponent, ShowsTheSoftwareVersionOnOneCentredLineAtMidHeight)
{
    AboutComponent component (aboutPicture());
    auto& version = labelNamed (component, "Software Version Text");

    EXPECT_EQ (version.getText(), "Software Version: 1.1.2");
    EXPECT_EQ (version.getBounds(), juce::Rectangle<int> (0, 155, 400, 15));
    EXPECT_EQ (version.getJustificationType(), juce::Justification::centred);
    EXPECT_EQ (version.getFont().getHeight(), 15.0f);
    EXPECT_EQ (version.findColour (juce::Label::textColourId), juce::Colours::white);
    EXPECT_FALSE (version.isEditableOnSingleClick() || version.isEditableOnDoubleClick());
    // One line: the text fits the label's width.
    EXPECT_LT (version.getFont().getStringWidthFloat (version.getText()), 400.0f);

    auto& copyright = copyrightLabel (component);
    EXPECT_EQ (copyright.getBounds(), juce::Rectangle<int> (0, 261, 400, 50));
    EXPECT_TRUE (copyright.getText().containsIgnoreCase ("Kestrune"));
    EXPECT_EQ (copyright.getJustificationType(), juce::Justification::centred);
}

TEST (AboutComponent, ReleasingTheMouseClosesTheWindowAfterTheClick)
{
    juce::Component::SafePointer<HoldingWindow> window (new HoldingWindow());
    auto& content = window->content;

    // As delivered for a click on the version label, through the component's
    // listening to its children.
    content.mouseUp (mouseUpOn (*content.getChildComponent (1), content));

    ASSERT_NE (window.getComponent(), nullptr) << "deleted inside its own click";
    deliverPendingMessages();
    EXPECT_EQ (window.getComponent(), nullptr);
}

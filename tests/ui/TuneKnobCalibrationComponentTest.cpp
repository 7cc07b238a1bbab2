#include "EmbeddedData.h"
#include "UiTestRig.h"
#include "ui/TuneKnobCalibrationComponent.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
juce::Image picture (const char* data, int size)
{
    return juce::ImageCache::getFromMemory (data, size);
}

// Stands in for the knob calibration window: it owns the component, as the
// window does, and must be deleted when Continue is pressed.
class HoldingWindow : public juce::Component
{
public:
    explicit HoldingWindow (TuneKestruneEngine::Ptr engine) : content (engine) { addAndMakeVisible (content); }
    TuneKnobCalibrationComponent content;
};

enum class Shown
{
    allGrey,
    turnClockwise,          // red left-hand arrow: pitch too low
    turnCounterClockwise,   // red right-hand arrow: pitch too high
    inRange                 // red head
};

class TuneKnobCalibrationComponentTest : public ::testing::Test
{
protected:
    juce::ImageComponent& imageAt (juce::Component& parent, juce::Rectangle<int> bounds)
    {
        for (auto* child : parent.getChildren())
            if (auto* image = dynamic_cast<juce::ImageComponent*> (child); image != nullptr && image->getBounds() == bounds)
                return *image;
        throw std::runtime_error ("no picture at " + bounds.toString().toStdString());
    }

    juce::ImageComponent& clockwiseArrow (juce::Component& c) { return imageAt (c, { 80, 150, 49, 104 }); }
    juce::ImageComponent& head (juce::Component& c) { return imageAt (c, { 94, 150, 120, 89 }); }
    juce::ImageComponent& counterClockwiseArrow (juce::Component& c) { return imageAt (c, { 214, 150, 49, 104 }); }

    juce::Button& continueButton (juce::Component& c)
    {
        for (auto* child : c.getChildren())
            if (auto* button = dynamic_cast<juce::ImageButton*> (child))
                return *button;
        throw std::runtime_error ("no Continue button");
    }

    // Which picture is red; each shows either its grey or its red image.
    Shown shown (juce::Component& c)
    {
        auto isRed = [] (juce::ImageComponent& component, const juce::Image& off, const juce::Image& on) {
            EXPECT_TRUE (component.getImage() == off || component.getImage() == on);
            return component.getImage() == on;
        };
        const bool left = isRed (clockwiseArrow (c),
                                 picture (EmbeddedData::clockwiseArrowOff, EmbeddedData::clockwiseArrowOffSize),
                                 picture (EmbeddedData::clockwiseArrowOn, EmbeddedData::clockwiseArrowOnSize));
        const bool right = isRed (counterClockwiseArrow (c),
                                  picture (EmbeddedData::counterClockwiseArrowOff, EmbeddedData::counterClockwiseArrowOffSize),
                                  picture (EmbeddedData::counterClockwiseArrowOn, EmbeddedData::counterClockwiseArrowOnSize));
        const bool headRed = isRed (head (c), picture (EmbeddedData::headOff, EmbeddedData::headOffSize),
                                    picture (EmbeddedData::headOn, EmbeddedData::headOnSize));

        EXPECT_LE ((int) left + (int) right + (int) headRed, 1) << "more than one red picture";
        if (left)
            return Shown::turnClockwise;
        if (right)
            return Shown::turnCounterClockwise;
        return headRed ? Shown::inRange : Shown::allGrey;
    }

    UiTestRig rig;
};

// Share of clearly red pixels in an area of a rendering of the component.
double redShare (juce::Component& component, juce::Rectangle<int> area)
{
    const auto snapshot = component.createComponentSnapshot (area, true, 1.0f);
    const juce::Image::BitmapData pixels (snapshot, juce::Image::BitmapData::readOnly);
    int red = 0;
    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x)
        {
            const auto c = pixels.getPixelColour (x, y);
            if (c.getRed() > 150 && c.getGreen() < 90 && c.getBlue() < 90)
                ++red;
        }
    return red / (double) (pixels.width * pixels.height);
}
} // namespace

TEST_F (TuneKnobCalibrationComponentTest, TakesTheBackgroundsSizeAndLaysOutItsPictures)
{
    TuneKnobCalibrationComponent component (rig.engine);

    EXPECT_EQ (component.getBounds(), juce::Rectangle<int> (0, 0, 400, 311));
    EXPECT_NO_THROW (imageAt (component, { 0, 0, 400, 311 }));
    EXPECT_NO_THROW (clockwiseArrow (component));
    EXPECT_NO_THROW (head (component));
    EXPECT_NO_THROW (counterClockwiseArrow (component));
    EXPECT_EQ (continueButton (component).getBounds(), juce::Rectangle<int> (200, 250, 204, 56));

    juce::Label* label = nullptr;
    for (auto* child : component.getChildren())
        if (child->getName() == "Tuning Info Label")
            label = dynamic_cast<juce::Label*> (child);
    ASSERT_NE (label, nullptr);
    EXPECT_EQ (label->getBounds(), juce::Rectangle<int> (10, 40, 400, 100));
    EXPECT_EQ (label->getText(),
               "Adjust the Bass Synth's Tune knob in the direction indicated by the red arrow below. Continue "
               "adjusting until the kestrune's head is red. Once adjusted Click the Continue Callibration button.");
    EXPECT_EQ (label->findColour (juce::Label::textColourId), juce::Colours::white);

    // The head overlaps the left-hand arrow and is drawn above it.
    const auto& children = component.getChildren();
    EXPECT_GT (children.indexOf (&head (component)), children.indexOf (&clockwiseArrow (component)));
}

TEST_F (TuneKnobCalibrationComponentTest, StartsAllGreyWithContinueEnabled)
{
    TuneKnobCalibrationComponent component (rig.engine);

    EXPECT_EQ (shown (component), Shown::allGrey);
    EXPECT_TRUE (continueButton (component).isEnabled());
}

TEST_F (TuneKnobCalibrationComponentTest, PitchDecidesTheArrowTheHeadAndContinue)
{
    TuneKnobCalibrationComponent component (rig.engine);

    const struct
    {
        float hz;
        Shown expected;
    } cases[] = {
        { 0.0f, Shown::turnClockwise },   // no signal
        { 19.99f, Shown::turnClockwise },
        { 20.0f, Shown::inRange },
        { 26.0f, Shown::inRange },
        { 32.7031f, Shown::inRange },
        { 32.7032f, Shown::turnCounterClockwise },
        { 65.4f, Shown::turnCounterClockwise },
        { std::numeric_limits<float>::quiet_NaN(), Shown::turnClockwise },
    };

    for (const auto& c : cases)
    {
        component.frequencyDetected (c.hz);
        EXPECT_EQ (shown (component), c.expected) << c.hz << " Hz";
        EXPECT_EQ (continueButton (component).isEnabled(), c.expected == Shown::inRange) << c.hz << " Hz";
    }
}

TEST_F (TuneKnobCalibrationComponentTest, RenderingShowsTheRedPictureWhereTheStateSaysSo)
{
    TuneKnobCalibrationComponent component (rig.engine);
    // Areas that no other picture overlaps.
    const juce::Rectangle<int> leftArrow (80, 150, 14, 104), headArea (129, 150, 85, 89), rightArrow (214, 150, 49, 104);

    component.frequencyDetected (40.0f);
    EXPECT_GT (redShare (component, rightArrow), 0.05);
    EXPECT_LT (redShare (component, leftArrow), 0.01);
    EXPECT_LT (redShare (component, headArea), 0.01);

    component.frequencyDetected (10.0f);
    EXPECT_GT (redShare (component, leftArrow), 0.05);
    EXPECT_LT (redShare (component, rightArrow), 0.01);

    component.frequencyDetected (25.0f);
    EXPECT_GT (redShare (component, headArea), 0.05);
    EXPECT_LT (redShare (component, leftArrow), 0.01);
    EXPECT_LT (redShare (component, rightArrow), 0.01);
}

TEST_F (TuneKnobCalibrationComponentTest, FollowsTheEnginesMeasurementsUntilDestroyed)
{
    auto component = std::make_unique<TuneKnobCalibrationComponent> (rig.engine);
    rig.startCalibration();

    // No audio reaches the engine: it reports 0 Hz.
    rig.tickPastSettling();
    EXPECT_EQ (shown (*component), Shown::turnClockwise);
    EXPECT_FALSE (continueButton (*component).isEnabled());

    component = nullptr;
    rig.engine->timerCallback();   // reaches no deleted listener
}

TEST_F (TuneKnobCalibrationComponentTest, ContinueBeginsTheRunAndClosesTheWindowAfterTheClick)
{
    juce::Component::SafePointer<HoldingWindow> window (new HoldingWindow (rig.engine));
    rig.startCalibration();
    window->content.frequencyDetected (25.0f);

    window->content.buttonClicked (&continueButton (window->content));

    EXPECT_TRUE (rig.engine->isTuning());
    ASSERT_NE (window.getComponent(), nullptr) << "deleted inside its own click";
    UiTestRig::deliverPendingMessages();
    EXPECT_EQ (window.getComponent(), nullptr);
}

TEST_F (TuneKnobCalibrationComponentTest, ContinueClosesTheWindowEvenWhenTheEngineRefuses)
{
    juce::Component::SafePointer<HoldingWindow> window (new HoldingWindow (rig.engine));
    rig.replyFirmwareVersion();
    ASSERT_TRUE (rig.engine->startTuningCalibration());   // no values read back: the run cannot begin

    window->content.buttonClicked (&continueButton (window->content));
    UiTestRig::deliverPendingMessages();

    EXPECT_FALSE (rig.engine->isTuning());
    EXPECT_EQ (window.getComponent(), nullptr);
}

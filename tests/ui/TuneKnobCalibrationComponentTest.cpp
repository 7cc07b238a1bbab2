#include "support/UiTestRig.h"
#include "support/WindowDeletion.h"
#include "ui/TuneKnobCalibrationComponent.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{
struct RecordingKnobComponent : TuneKnobCalibrationComponent
{
    using TuneKnobCalibrationComponent::TuneKnobCalibrationComponent;
    void showMessageBox (const juce::String& title, const juce::String&) override { titles.add (title); }
    juce::StringArray titles;
};

// Stands in for the knob window, which owns the component and goes on Continue.
struct HoldingWindow : juce::Component
{
    explicit HoldingWindow (TuneKestruneEngine::Ptr engine) : content (engine) { addAndMakeVisible (content); }
    RecordingKnobComponent content;
};

juce::Button& continueButton (juce::Component& c)
{
    for (auto* child : c.getChildren())
        if (auto* button = dynamic_cast<juce::ImageButton*> (child))
            return *button;
    throw std::runtime_error ("no Continue button");
}

// Which of the three pictures a rendering shows red: left-hand arrow (turn
// clockwise, pitch too low), head (in range), right-hand arrow (too high).
// Each area is one that no other picture overlaps.
std::string redPictures (juce::Component& component)
{
    const std::pair<char, juce::Rectangle<int>> areas[] = { { 'L', { 80, 150, 14, 104 } },
                                                            { 'H', { 129, 150, 85, 89 } },
                                                            { 'R', { 214, 150, 49, 104 } } };
    std::string red;
    for (auto& [name, area] : areas)
    {
        const auto snapshot = component.createComponentSnapshot (area, true, 1.0f);
        int count = 0;
        for (int y = 0; y < snapshot.getHeight(); ++y)
            for (int x = 0; x < snapshot.getWidth(); ++x)
                count += snapshot.getPixelAt (x, y).getRed() > 150 && snapshot.getPixelAt (x, y).getGreen() < 90;
        if (count > area.getWidth() * area.getHeight() / 20)
            red += name;
    }
    return red;
}

struct TuneKnobCalibrationComponentTest : ::testing::Test
{
    UiTestRig rig;
};
} // namespace

TEST_F (TuneKnobCalibrationComponentTest, PitchDecidesTheArrowTheHeadAndContinue)
{
    TuneKnobCalibrationComponent component (rig.engine);
    EXPECT_EQ (redPictures (component), "");
    EXPECT_TRUE (continueButton (component).isEnabled());

    // 0 Hz is no signal; not a number is no measurement either.
    const std::pair<float, std::string> cases[] = { { 0.0f, "L" },      { 19.99f, "L" },   { 20.0f, "H" },
                                                    { 32.7031f, "H" },  { 32.7032f, "R" }, { 65.4f, "R" },
                                                    { std::numeric_limits<float>::quiet_NaN(), "L" } };
    for (auto& [hz, red] : cases)
    {
        component.frequencyDetected (hz);
        EXPECT_EQ (redPictures (component), red) << hz << " Hz";
        EXPECT_EQ (continueButton (component).isEnabled(), red == "H") << hz << " Hz";
    }
}

TEST_F (TuneKnobCalibrationComponentTest, FollowsTheEnginesMeasurements)
{
    TuneKnobCalibrationComponent component (rig.engine);
    rig.startCalibration();
    rig.tickPastSettling(); // no audio reaches the engine: it reports 0 Hz
    EXPECT_EQ (redPictures (component), "L");
    EXPECT_FALSE (continueButton (component).isEnabled());
}

TEST_F (TuneKnobCalibrationComponentTest, EveryWayOutOfTheStepClosesTheWindowAfterTheEventAndOnlyContinueLeavesTheNoteSounding)
{
    struct Case
    {
        const char* name;
        bool readBack;
        std::function<void (HoldingWindow&, UiTestRig&)> leave;
        bool tuning;
        juce::StringArray titles;
    };
    const auto clickContinue = [] (HoldingWindow& w, UiTestRig&) {
        w.content.frequencyDetected (25.0f);
        w.content.buttonClicked (&continueButton (w.content));
    };
    const std::vector<Case> cases {
        { "Continue", true, clickContinue, true, {} },
        { "Continue refused: the machine has not answered yet", false, clickContinue, false,
          { TuneKnobCalibrationComponent::refusedTitle } },
        { "the close box", true, [] (HoldingWindow& w, UiTestRig&) { w.content.windowClosing(); }, false, {} },
        { "STOP in the main window", true, [] (HoldingWindow&, UiTestRig& r) { r.engine->abortTuning(); }, false, {} },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        UiTestRig fresh;
        juce::Component::SafePointer<HoldingWindow> window (new HoldingWindow (fresh.engine));
        if (c.readBack)
            fresh.startCalibration();
        else
        {
            fresh.replyVersion (0, 1, 0, 5);
            ASSERT_TRUE (fresh.engine->startTuningCalibration());
        }
        fresh.ports->clearSent();
        c.leave (*window, fresh);

        EXPECT_EQ (fresh.engine->isTuning(), c.tuning);
        EXPECT_EQ (fresh.engine->isCalibrating(), c.tuning);
        EXPECT_EQ (window->content.titles, c.titles);
        // The note stops, and the stored table goes back, wherever it sounded.
        const auto sent = fresh.sent();
        EXPECT_EQ (! sent.empty() && sent.front() == "off 24", c.readBack && ! c.tuning);
        EXPECT_TRUE (deletedOnlyAfterTheEvent (window));
    }
}

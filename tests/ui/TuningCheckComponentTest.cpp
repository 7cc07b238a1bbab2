#include "support/ComponentTree.h"
#include "support/UiTestRig.h"
#include "ui/TuningCheckComponent.h"

#include <gtest/gtest.h>

namespace
{
// The real component with its message boxes and its save dialog recorded.
struct RecordingTuningCheckComponent : TuningCheckComponent
{
    using TuningCheckComponent::TuningCheckComponent;
    juce::StringArray titles, messages;
    std::function<void (const juce::File&)> pendingSave;

    void showMessageBox (const juce::String& title, const juce::String& message) override
    {
        titles.add (title);
        messages.add (message);
    }
    void chooseFileToSave (std::function<void (const juce::File&)> onChosen) override
    {
        pendingSave = std::move (onChosen);
    }
};

struct TuningCheckComponentTest : ::testing::Test
{
    UiTestRig rig;
    RecordingTuningCheckComponent component { rig.engine };
};
} // namespace

TEST_F (TuningCheckComponentTest, StopEndsTheCheckAndReleasesTheNote)
{
    ASSERT_TRUE (component.startCheck());
    EXPECT_TRUE (component.canStop());
    EXPECT_FALSE (component.canSave());
    EXPECT_FALSE (component.startCheck());

    component.tuningCheckProgressChanged (37, 13.0 / 40.0);
    EXPECT_EQ (component.getStatusText(), "Measuring C#1 (14 of 40)");

    component.buttonClicked (findChild<juce::Button> (component, "Stop Tuning Check Button"));
    EXPECT_FALSE (rig.engine->isCheckingTuning());
    EXPECT_FALSE (component.canStop());
    EXPECT_EQ (component.getStatusText(), "Check stopped.");
    ASSERT_FALSE (rig.sent().empty());
    EXPECT_EQ (rig.sent().back(), "off 24");
    EXPECT_TRUE (component.titles.isEmpty());
}

TEST_F (TuningCheckComponentTest, ChartShowsEveryNoteByNameGradedAndLimitedToTheScale)
{
    // Every note 1 cent sharp but five.
    std::vector<TuningCheck::Row> rows;
    for (int note = 24; note <= 63; ++note)
        rows.push_back ({ note, TuningCheck::targetFrequency (note), TuningCheck::targetFrequency (note), 1.0 });
    for (auto [note, cents] : { std::pair { 24, -62.0 }, { 30, 12.0 }, { 41, -5.0 }, { 50, 5.01 }, { 63, 15.2 } })
        rows[(size_t) note - 24].cents = cents;
    component.tuningCheckFinished (rows);

    const auto& bars = component.getChart().getBars();
    ASSERT_EQ (bars.size(), 40u);
    using Grade = TuningCheckChart::Grade;
    // { note, label, cents shown (limited to the scale), grade }
    const std::tuple<int, const char*, double, Grade> cases[] = {
        { 24, "C0", -50.0, Grade::farOff },     { 25, "C#0", 1.0, Grade::inTune },    { 30, "F#0", 12.0, Grade::slightlyOff },
        { 41, "F1", -5.0, Grade::inTune },      { 50, "D2", 5.01, Grade::slightlyOff }, { 63, "D#3", 15.2, Grade::farOff }
    };
    for (auto [note, label, shown, grade] : cases)
    {
        const auto& bar = bars[(size_t) (note - 24)];
        EXPECT_TRUE (bar.note == note && bar.label == label && bar.shownCents == shown && bar.grade == grade) << note;
    }
    EXPECT_EQ (component.getSummaryText(), "Worst note: C0 at -62.0 cents. 36 of 40 notes within 5 cents.");
    EXPECT_TRUE (component.canSave());
    EXPECT_FALSE (component.canStop());
}

TEST_F (TuningCheckComponentTest, SaveWritesOneCsvRowPerNoteWithLineFeeds)
{
    const std::pair<TuningCheck::Row, const char*> cases[] = {
        { { 24, 32.70319566257483, 33.465412, 39.8712 }, "24,C0,32.7032,33.4654,39.87" },
        { { 37, 69.29565774421802, 69.2, -2.3951 }, "37,C#1,69.2957,69.2000,-2.40" },
        { { 63, 311.1269837220809, 311.12, -0.004 }, "63,D#3,311.1270,311.1200,0.00" },
    };
    std::vector<TuningCheck::Row> rows;
    juce::String expected ("note,name,target_hz,measured_hz,cents\n");
    for (const auto& [row, line] : cases)
        rows.push_back (row), expected << line << "\n";
    component.tuningCheckFinished (rows);

    juce::TemporaryFile temp (".csv");
    ASSERT_TRUE (temp.getFile().replaceWithText ("old content that must go\n"));
    component.buttonClicked (findChild<juce::Button> (component, "Save Tuning Check Button"));
    ASSERT_TRUE (component.pendingSave != nullptr);
    component.pendingSave (temp.getFile());

    EXPECT_EQ (temp.getFile().loadFileAsString(), expected);
    EXPECT_TRUE (component.titles.isEmpty());

    // A folder cannot be written: said so.
    component.pendingSave (temp.getFile().getParentDirectory());
    EXPECT_EQ (component.titles, juce::StringArray (TuningCheckComponent::notWrittenTitle));
}

TEST_F (TuningCheckComponentTest, ACheckThatStopsOnItsOwnSaysWhyAndShowsNoChart)
{
    rig.engine->setAnalysedInputChannel (2);
    const std::tuple<TuningCheck::State, const char*, const char*> cases[] = {
        { TuningCheck::State::noAudio, TuningCheckComponent::noAudioTitle, "audio input channel 3" },
        { TuningCheck::State::noNoteHeard, TuningCheckComponent::noNoteHeardTitle, "Audio Input Chnl" },
        { TuningCheck::State::noteNotSent, TuningCheckComponent::noteNotSentTitle, "MIDI" }
    };
    for (auto [reason, title, mentions] : cases)
    {
        SCOPED_TRACE (title);
        component.titles.clear();
        component.messages.clear();
        ASSERT_TRUE (component.startCheck());
        rig.engine->stopTuningCheck(); // as when it ends on its own, before the report
        component.tuningCheckFailed (reason);
        EXPECT_EQ (component.titles, juce::StringArray (title));
        EXPECT_TRUE (component.messages[0].contains (mentions)) << component.messages[0];
        EXPECT_TRUE (component.getChart().getBars().empty());
        EXPECT_FALSE (component.canSave() || component.canStop());
    }
}

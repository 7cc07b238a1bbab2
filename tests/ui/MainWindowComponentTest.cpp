#include "support/ComponentTree.h"
#include "support/UiTestRig.h"
#include "ui/MainWindowComponent.h"
#include "ui/ProgressDisplayWithBackground.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
// The real component with its message boxes recorded instead of shown.
struct RecordingMainWindowComponent : MainWindowComponent
{
    using MainWindowComponent::MainWindowComponent;
    juce::StringArray titles, messages;

    void showMessageBox (juce::MessageBoxIconType, const juce::String& title, const juce::String& message,
                         const juce::String&) override
    {
        titles.add (title);
        messages.add (message);
    }
};

class MainWindowComponentTest : public ::testing::Test
{
protected:
    juce::Button& startButton() { return *findChild<juce::ImageButton> (component, "Start Tuning Calibration Button"); }
    juce::Button& abortButton() { return *findChild<juce::ImageButton> (component, "Abort Tuning Calibration Button"); }
    juce::String versionText() { return findChild<juce::Label> (component, "Firmware Version")->getText(); }
    juce::Label& tuningLabel() { return *findChild<juce::Label> (component, {}); }
    ProgressDisplayWithBackground& display() { return *findChild<ProgressDisplayWithBackground> (component, {}); }

    bool isIdle() { return startButton().isVisible() && ! abortButton().isVisible() && ! tuningLabel().isVisible(); }

    // The warning, back to idle with the bar empty and the watchdog off.
    void expectFailureShown()
    {
        EXPECT_EQ (component.titles, juce::StringArray ("There was a problem calibrating the Kestrune."));
        EXPECT_TRUE (isIdle());
        EXPECT_EQ (display().getProgress(), 0.0);
        EXPECT_FALSE (component.isTimerRunning());
    }

    UiTestRig rig;
    juce::ApplicationCommandManager commands;
    RecordingMainWindowComponent component { rig.engine, &commands };
};
} // namespace

TEST_F (MainWindowComponentTest, ShowsTheFirmwareVersionOnTheMessageThreadAndAsksAgainWhenOpened)
{
    EXPECT_EQ (versionText(), "Firmware Version:");
    std::thread ([this] { rig.replyVersion (0, 1, 0, 5); }).join(); // as on the MIDI input thread
    ASSERT_FALSE (rig.engine->isFirmwareQueryRunning());
    EXPECT_EQ (versionText(), "Firmware Version:"); // nothing touched on the MIDI input thread
    UiTestRig::deliverPendingMessages();
    EXPECT_EQ (versionText(), "Firmware Version\r\n1.05");

    // A second window restarts the query.
    RecordingMainWindowComponent second (rig.engine, &commands);
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
}

TEST_F (MainWindowComponentTest, TuningRunShowsTheStopButtonTheNoteAndArmsTheWatchdog)
{
    rig.startCalibration();
    EXPECT_FALSE (component.isTimerRunning());
    rig.tickPastSettling(); // the knob step's measurements arm the watchdog too
    EXPECT_TRUE (component.isTimerRunning());

    ASSERT_TRUE (rig.engine->beginTuningRun());
    EXPECT_TRUE (! startButton().isVisible() && abortButton().isVisible() && tuningLabel().isVisible());
    component.tuningNoteChanged (63);
    EXPECT_EQ (tuningLabel().getText(), "Tuning: D#3");
}

TEST_F (MainWindowComponentTest, CompletionIsAnnouncedOnlyOnceTheNewCalibrationIsStored)
{
    rig.startRun();
    // The engine completes a run with tuningStopped, then progress 1.0, then
    // the machine confirms the values (or not) and they are stored (or not).
    component.tuningStopped();
    component.tuningProgressChanged (1.0);
    EXPECT_EQ (display().getProgress(), 1.0);
    EXPECT_FALSE (component.isTimerRunning());
    EXPECT_TRUE (isIdle());

    using Kind = TuneKestruneEngine::CalibrationWriteKind;
    component.calibrationWriteFinished ({ Kind::restoreDefault, false, { 30 } }); // the application's to tell
    EXPECT_TRUE (component.titles.isEmpty());
    component.calibrationWriteFinished ({ Kind::newCalibration, false, { 30, 42 } });
    component.calibrationWriteFinished ({ Kind::newCalibration, true, {} });
    EXPECT_EQ (component.titles, juce::StringArray ("Calibration Not Stored", "Calibration Complete"));
    EXPECT_TRUE (component.messages[0].contains ("F#0 (30), F#1 (42)")) << component.messages[0];
}

TEST_F (MainWindowComponentTest, WatchdogWarnsAndLeavesTheEngineAlone)
{
    rig.startRun();
    rig.ports->clearSent();
    component.timerCallback();
    expectFailureShown();
    EXPECT_TRUE (component.messages[0].endsWith ("run the calibration again using the Sweep Tune setting."));
    EXPECT_TRUE (rig.engine->isTuning());
    EXPECT_TRUE (rig.sent().empty());
}

TEST_F (MainWindowComponentTest, EngineFailureWarnsAfterItsStop)
{
    rig.startRun();
    component.tuningProgressChanged (0.4);
    component.tuningStopped(); // the engine's own time-out: stopped, then failed
    EXPECT_TRUE (component.isTimerRunning());
    component.tuningFailed();
    expectFailureShown();
}

TEST_F (MainWindowComponentTest, AbortButtonStopsTheRunAndTheWatchdogWithoutAMessage)
{
    rig.startRun();
    rig.ports->clearSent();
    component.buttonClicked (&abortButton());
    EXPECT_TRUE (isIdle());
    EXPECT_FALSE (component.isTimerRunning() || rig.engine->isTuning());
    EXPECT_TRUE (component.titles.isEmpty());
    ASSERT_FALSE (rig.sent().empty());
    EXPECT_EQ (rig.sent().front(), "off 24");
}

TEST_F (MainWindowComponentTest, StopIsOfferedFromTheStartAndEndsTheKnobStep)
{
    rig.replyVersion (0, 1, 0, 5);
    component.buttonClicked (&startButton());
    EXPECT_TRUE (! startButton().isVisible() && abortButton().isVisible());
    rig.tickUntilSent ("request 64");
    rig.replyAll (24, 63, [] (int note) { return (juce::uint16) (2000 + note); });
    ASSERT_TRUE (rig.tickUntilSent ("on 24 127"));
    component.buttonClicked (&abortButton());
    EXPECT_TRUE (isIdle());
    EXPECT_FALSE (rig.engine->isCalibrating());
    const auto sent = rig.sent();
    const auto off = std::find (sent.begin(), sent.end(), "off 24");
    ASSERT_TRUE (off != sent.end() && off + 1 != sent.end());
    EXPECT_EQ (*(off + 1), "write 24 2024") << "note 24 gets its stored value back";
}

TEST_F (MainWindowComponentTest, RefusedStartSaysWhyAndStaysIdle)
{
    component.buttonClicked (&startButton()); // no firmware version known
    rig.replyVersion (0, 1, 0, 5);
    ASSERT_TRUE (rig.engine->startTuningCheck (nullptr));
    const auto sent = rig.sent().size();
    component.buttonClicked (&startButton());
    EXPECT_EQ (rig.sent().size(), sent);
    rig.engine->stopTuningCheck();
    ASSERT_TRUE (rig.engine->startFirmwareUpdate (nullptr));
    component.buttonClicked (&startButton());
    rig.engine->cancelFirmwareUpdate();

    EXPECT_EQ (component.titles[0], "Unable to Perform Tuning Calibration");
    EXPECT_EQ (component.messages, juce::StringArray ("Verify Audio/MIDI Settings.", MainWindowComponent::checkingMessage,
                                                      MainWindowComponent::firmwareMessage));
    EXPECT_TRUE (isIdle());
}

TEST_F (MainWindowComponentTest, ClosingTheKnobStepIsQuietAndAMachineLostThereIsReported)
{
    rig.startCalibration();
    rig.tickPastSettling();                // its measurements arm the watchdog
    ASSERT_TRUE (component.isTimerRunning());
    rig.engine->abortTuning();             // the owner closes the step
    EXPECT_TRUE (isIdle());
    EXPECT_FALSE (component.isTimerRunning());
    EXPECT_TRUE (component.titles.isEmpty());

    rig.finishWrites();
    rig.startCalibration();
    ASSERT_TRUE (rig.engine->isCalibrating());
    rig.ports->unplugOutput (enginetest::portName);
    rig.midi->timerCallback();
    EXPECT_FALSE (rig.engine->isCalibrating());
    expectFailureShown();
}

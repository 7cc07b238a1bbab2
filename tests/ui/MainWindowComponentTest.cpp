#include "ComponentTree.h"
#include "UiTestRig.h"
#include "ui/MainWindowComponent.h"
#include "ui/ProgressDisplayWithBackground.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
struct MessageBox
{
    juce::MessageBoxIconType icon;
    juce::String title, message;
};

// The real component with its message boxes recorded instead of shown.
class RecordingMainWindowComponent : public MainWindowComponent
{
public:
    using MainWindowComponent::MainWindowComponent;
    std::vector<MessageBox> boxes;

protected:
    void showMessageBox (juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                         const juce::String&) override
    {
        boxes.push_back ({ icon, title, message });
    }
};

const juce::String failureTitle = "There was a problem calibrating the Kestrune.";

template <typename ComponentType>
ComponentType* childOfType (juce::Component& parent)
{
    for (auto* child : parent.getChildren())
        if (auto* typed = dynamic_cast<ComponentType*> (child))
            return typed;
    return nullptr;
}

class MainWindowComponentTest : public ::testing::Test
{
protected:
    juce::Button& startButton() { return *findChild<juce::ImageButton> (component, "Start Tuning Calibration Button"); }
    juce::Button& abortButton() { return *findChild<juce::ImageButton> (component, "Abort Tuning Calibration Button"); }
    juce::String versionText() { return findChild<juce::Label> (component, "Firmware Version")->getText(); }
    juce::Label& tuningLabel() { return *findChild<juce::Label> (component, {}); }
    double progress() { return childOfType<ProgressDisplayWithBackground> (component)->getProgress(); }

    bool isIdle() { return startButton().isVisible() && ! abortButton().isVisible() && ! tuningLabel().isVisible(); }
    bool isTuning() { return ! startButton().isVisible() && abortButton().isVisible() && tuningLabel().isVisible(); }

    void expectFailureShownAndIdle()
    {
        ASSERT_EQ (component.boxes.size(), 1u);
        EXPECT_EQ (component.boxes[0].icon, juce::MessageBoxIconType::WarningIcon);
        EXPECT_EQ (component.boxes[0].title, failureTitle);
        EXPECT_TRUE (isIdle());
        EXPECT_EQ (progress(), 0.0);
        EXPECT_FALSE (component.isTimerRunning());
    }

    UiTestRig rig;
    juce::ApplicationCommandManager commands;
    RecordingMainWindowComponent component { rig.engine, &commands };
};
} // namespace

TEST_F (MainWindowComponentTest, BackgroundBelowAndProgressFrameAboveTheBar)
{
    EXPECT_NE (dynamic_cast<juce::ImageComponent*> (component.getChildren().getFirst()), nullptr);
    auto& display = *childOfType<ProgressDisplayWithBackground> (component);
    EXPECT_NE (dynamic_cast<juce::ImageComponent*> (display.getChildren().getLast()), nullptr);
    EXPECT_TRUE (component.getLocalBounds().contains (startButton().getBounds()));
}

TEST_F (MainWindowComponentTest, ShowsTheFirmwareVersionOnTheMessageThreadAndAsksAgainWhenOpened)
{
    EXPECT_TRUE (isIdle());
    EXPECT_EQ (versionText(), "Firmware Version:");
    rig.replyFirmwareVersion (5);
    ASSERT_FALSE (rig.engine->isFirmwareQueryRunning());
    EXPECT_EQ (versionText(), "Firmware Version:"); // nothing touched on the MIDI input thread
    UiTestRig::deliverPendingMessages();
    EXPECT_EQ (versionText(), "Firmware Version\r\n1.05");

    std::thread midiThread ([this] { component.firmwareVersionReceived (1.5); });
    midiThread.join();
    UiTestRig::deliverPendingMessages();
    EXPECT_EQ (versionText(), "Firmware Version\r\n1.50");

    // A second window restarts the query; its pending report is dropped with it.
    auto second = std::make_unique<RecordingMainWindowComponent> (rig.engine, &commands);
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
    std::thread late ([&] { second->firmwareVersionReceived (1.05); });
    late.join();
    second = nullptr;
    UiTestRig::deliverPendingMessages();
}

TEST_F (MainWindowComponentTest, TuningRunShowsTheStopButtonTheNoteAndArmsTheWatchdog)
{
    rig.startCalibration();
    EXPECT_FALSE (component.isTimerRunning());
    rig.tickPastSettling(); // the knob step's measurements arm the watchdog too
    EXPECT_TRUE (component.isTimerRunning());

    ASSERT_TRUE (rig.engine->beginTuningRun());
    EXPECT_TRUE (isTuning());
    EXPECT_EQ (tuningLabel().getText(), "Tuning: C0");
    component.tuningNoteChanged (63);
    EXPECT_EQ (tuningLabel().getText(), "Tuning: D#3");
    EXPECT_TRUE (component.boxes.empty());
}

TEST_F (MainWindowComponentTest, CompletionIsAnnouncedOnlyOnceTheNewCalibrationIsStored)
{
    rig.startRun();
    component.tuningProgressChanged (0.5);
    EXPECT_EQ (progress(), 0.5);

    // The engine completes a run with tuningStopped, then progress 1.0, then
    // the machine confirms the values (or not) and they are stored (or not).
    component.tuningStopped();
    component.tuningProgressChanged (1.0);
    EXPECT_TRUE (component.boxes.empty());
    EXPECT_EQ (progress(), 1.0);
    EXPECT_FALSE (component.isTimerRunning());
    EXPECT_TRUE (isIdle());

    using Kind = TuneKestruneEngine::CalibrationWriteKind;
    component.calibrationWriteFinished ({ Kind::restoreDefault, false, { 30 } }); // the application's to tell
    EXPECT_TRUE (component.boxes.empty());
    component.calibrationWriteFinished ({ Kind::newCalibration, false, { 30, 42 } });
    component.calibrationWriteFinished ({ Kind::newCalibration, true, {} });
    ASSERT_EQ (component.boxes.size(), 2u);
    EXPECT_EQ (component.boxes[0].title, "Calibration Not Stored");
    EXPECT_TRUE (component.boxes[0].message.contains ("F#0 (30), F#1 (42)")) << component.boxes[0].message;
    EXPECT_EQ (component.boxes[1].title, "Calibration Complete");
    EXPECT_EQ (component.boxes[1].message, "The calibration process has been completed.");
}

TEST_F (MainWindowComponentTest, WatchdogWarnsAndLeavesTheEngineAlone)
{
    rig.startRun();
    rig.ports->clearSent();
    component.timerCallback();
    expectFailureShownAndIdle();
    EXPECT_TRUE (component.boxes[0].message.endsWith ("run the calibration again using the Sweep Tune setting."));
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
    expectFailureShownAndIdle();
}

TEST_F (MainWindowComponentTest, UnpluggedMachineStopsAtOnceAndWarnsWhenMeasurementsCease)
{
    rig.startRun();
    rig.ports->unplugOutput (UiTestRig::portName);
    rig.midiManager->timerCallback();
    EXPECT_FALSE (rig.engine->isTuning());
    EXPECT_TRUE (isIdle());
    EXPECT_TRUE (component.boxes.empty());
    component.timerCallback();
    expectFailureShownAndIdle();
}

TEST_F (MainWindowComponentTest, AbortButtonStopsTheRunAndTheWatchdogWithoutAMessage)
{
    rig.startRun();
    rig.ports->clearSent();
    component.buttonClicked (&abortButton());
    EXPECT_TRUE (isIdle());
    EXPECT_FALSE (component.isTimerRunning());
    EXPECT_TRUE (component.boxes.empty());
    EXPECT_FALSE (rig.engine->isTuning());
    const auto sent = rig.sent();
    ASSERT_FALSE (sent.empty());
    EXPECT_TRUE (sent.front().isNoteOff() && sent.front().getNoteNumber() == 24);
}

TEST_F (MainWindowComponentTest, RefusedStartSaysWhyAndStaysIdle)
{
    component.buttonClicked (&startButton()); // no firmware version known
    rig.replyFirmwareVersion();
    ASSERT_TRUE (rig.engine->startTuningCheck (nullptr));
    const auto sent = rig.sent().size();
    component.buttonClicked (&startButton());
    EXPECT_EQ (rig.sent().size(), sent);
    rig.engine->stopTuningCheck();

    ASSERT_EQ (component.boxes.size(), 2u);
    EXPECT_EQ (component.boxes[0].title, "Unable to Perform Tuning Calibration");
    EXPECT_EQ (component.boxes[0].message, "Verify Audio/MIDI Settings.");
    EXPECT_EQ (component.boxes[1].message, MainWindowComponent::checkingMessage);
    EXPECT_TRUE (isIdle());
}

TEST_F (MainWindowComponentTest, EndOfRunMakesTheCommandsReadTheirStateAgain)
{
    struct Changes : juce::ApplicationCommandManagerListener
    {
        void applicationCommandInvoked (const juce::ApplicationCommandTarget::InvocationInfo&) override {}
        void applicationCommandListChanged() override { ++count; }
        int count = 0;
    } changes;
    commands.addListener (&changes);
    component.tuningStopped();
    UiTestRig::deliverPendingMessages();
    EXPECT_EQ (changes.count, 1);
    commands.removeListener (&changes);
}

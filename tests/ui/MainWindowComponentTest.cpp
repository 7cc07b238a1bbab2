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
    juce::String title, message, buttonText;
};

// The real component with its message boxes recorded instead of shown.
class RecordingMainWindowComponent : public MainWindowComponent
{
public:
    using MainWindowComponent::MainWindowComponent;

    std::vector<MessageBox> boxes;

protected:
    void showMessageBox (juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                         const juce::String& buttonText) override
    {
        boxes.push_back ({ icon, title, message, buttonText });
    }
};

class CommandListChanges : public juce::ApplicationCommandManagerListener
{
public:
    void applicationCommandInvoked (const juce::ApplicationCommandTarget::InvocationInfo&) override {}
    void applicationCommandListChanged() override { ++count; }
    int count = 0;
};

const juce::String failureTitle = "There was a problem calibrating the Kestrune.";

template <typename ComponentType>
ComponentType* findChild (juce::Component& parent, const juce::String& name)
{
    for (auto* child : parent.getChildren())
        if (child->getName() == name)
            if (auto* typed = dynamic_cast<ComponentType*> (child))
                return typed;
    return nullptr;
}

template <typename ComponentType>
ComponentType* findChildOfType (juce::Component& parent)
{
    for (auto* child : parent.getChildren())
        if (auto* typed = dynamic_cast<ComponentType*> (child))
            return typed;
    return nullptr;
}

class MainWindowComponentTest : public ::testing::Test
{
protected:
    MainWindowComponentTest() : component (rig.engine, &commands) {}

    juce::Button& startButton() { return *findChild<juce::ImageButton> (component, "Start Tuning Calibration Button"); }
    juce::Button& abortButton() { return *findChild<juce::ImageButton> (component, "Abort Tuning Calibration Button"); }
    juce::Label& versionLabel() { return *findChild<juce::Label> (component, "Firmware Version"); }
    juce::Label& tuningLabel() { return *findChild<juce::Label> (component, {}); }
    ProgressDisplayWithBackground& progressDisplay() { return *findChildOfType<ProgressDisplayWithBackground> (component); }

    bool isIdle() { return startButton().isVisible() && ! abortButton().isVisible() && ! tuningLabel().isVisible(); }
    bool isTuning() { return ! startButton().isVisible() && abortButton().isVisible() && tuningLabel().isVisible(); }

    UiTestRig rig;
    juce::ApplicationCommandManager commands;
    RecordingMainWindowComponent component;
};
} // namespace

TEST_F (MainWindowComponentTest, LaysOutItsChildrenAtFixedPositions)
{
    EXPECT_EQ (component.getBounds(), juce::Rectangle<int> (0, 0, 700, 500));
    EXPECT_EQ (findChild<juce::Label> (component, "Tuning Utility")->getBounds(), juce::Rectangle<int> (160, 58, 200, 20));
    EXPECT_EQ (findChild<juce::Label> (component, "Instructions Display")->getBounds(),
               juce::Rectangle<int> (30, 82, 450, 410));
    EXPECT_EQ (versionLabel().getBounds(), juce::Rectangle<int> (465, 456, 100, 40));
    EXPECT_EQ (tuningLabel().getBounds(), juce::Rectangle<int> (363, 472, 75, 13));
    EXPECT_EQ (progressDisplay().getBounds(), juce::Rectangle<int> (30, 440, 408, 32));
    EXPECT_EQ (startButton().getBounds(), juce::Rectangle<int> (128, 390, 212, 56));
    EXPECT_EQ (abortButton().getBounds(), juce::Rectangle<int> (128, 390, 212, 56));

    // The title stands above everything else, the background below.
    EXPECT_EQ (component.getChildren().getLast()->getName(), "Tuning Utility");
    EXPECT_NE (dynamic_cast<juce::ImageComponent*> (component.getChildren().getFirst()), nullptr);
}

TEST_F (MainWindowComponentTest, ProgressBarSitsInsideItsFrame)
{
    auto& display = progressDisplay();
    auto* bar = findChildOfType<juce::ProgressBar> (display);
    auto* frame = findChildOfType<juce::ImageComponent> (display);
    ASSERT_NE (bar, nullptr);
    ASSERT_NE (frame, nullptr);
    EXPECT_EQ (bar->getBounds(), juce::Rectangle<int> (3, 0, 402, 32));
    EXPECT_EQ (frame->getBounds(), juce::Rectangle<int> (0, 0, 408, 32));
    EXPECT_EQ (display.getChildren().getLast(), frame);   // the frame is drawn over the bar
}

TEST_F (MainWindowComponentTest, StartsIdleWithTheInstructionsAndNoVersion)
{
    EXPECT_TRUE (isIdle());
    EXPECT_EQ (versionLabel().getText(), "Firmware Version:");
    EXPECT_EQ (progressDisplay().getProgress(), 0.0);
    EXPECT_FALSE (component.isTimerRunning());

    const auto instructions = findChild<juce::Label> (component, "Instructions Display")->getText();
    const auto lines = juce::StringArray::fromLines (instructions);
    ASSERT_EQ (lines.size(), 22);
    EXPECT_EQ (lines[0], "1. Use a USB cable to connect the Kestrune to your computer.");
    EXPECT_EQ (lines[12], "      driver, set the Audio Driver to that driver) ");
    EXPECT_EQ (lines[21], "6. Click Calibrate Tuning below");
}

TEST_F (MainWindowComponentTest, RestartsTheFirmwareVersionQuery)
{
    rig.replyFirmwareVersion (0, 1, 0, 5);
    ASSERT_FALSE (rig.engine->isFirmwareQueryRunning());

    RecordingMainWindowComponent second (rig.engine, &commands);
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
}

TEST_F (MainWindowComponentTest, ShowsTheFirmwareVersionOnTheMessageThreadWithTwoDecimals)
{
    rig.replyFirmwareVersion (0, 1, 0, 5);
    // Nothing is touched on the MIDI input thread itself.
    EXPECT_EQ (versionLabel().getText(), "Firmware Version:");
    UiTestRig::deliverPendingMessages();
    EXPECT_EQ (versionLabel().getText(), "Firmware Version\r\n1.05");

    for (auto [version, shown] : { std::pair<double, const char*> { 1.5, "1.50" }, { 0.99, "0.99" } })
    {
        std::thread midiThread ([&, v = version] { component.firmwareVersionReceived (v); });
        midiThread.join();
        UiTestRig::deliverPendingMessages();
        EXPECT_EQ (versionLabel().getText(), juce::String ("Firmware Version\r\n") + shown);
    }
}

TEST_F (MainWindowComponentTest, VersionReportPendingAtDestructionIsDropped)
{
    auto second = std::make_unique<RecordingMainWindowComponent> (rig.engine, &commands);
    std::thread midiThread ([&] { second->firmwareVersionReceived (1.05); });
    midiThread.join();
    second = nullptr;
    UiTestRig::deliverPendingMessages();   // must not reach the deleted component
    SUCCEED();
}

TEST_F (MainWindowComponentTest, TuningRunShowsTheStopButtonAndTheNote)
{
    rig.startRun();

    EXPECT_TRUE (isTuning());
    EXPECT_EQ (tuningLabel().getText(), "Tuning: C0");
    EXPECT_TRUE (component.isTimerRunning());
    EXPECT_EQ (component.getTimerInterval(), 1000);

    component.tuningNoteChanged (63);
    EXPECT_EQ (tuningLabel().getText(), "Tuning: D#3");
    EXPECT_TRUE (component.boxes.empty());
}

TEST_F (MainWindowComponentTest, CompletionIsAnnouncedOnlyOnceTheNewCalibrationIsStored)
{
    rig.startRun();

    component.tuningProgressChanged (0.5);
    EXPECT_EQ (progressDisplay().getProgress(), 0.5);
    EXPECT_TRUE (component.isTimerRunning());

    // The engine completes a run with tuningStopped, then progress 1.0, then
    // the machine confirms the values (or not) and they are stored (or not).
    component.tuningStopped();
    component.tuningProgressChanged (1.0);
    EXPECT_TRUE (component.boxes.empty());
    EXPECT_EQ (progressDisplay().getProgress(), 1.0);
    EXPECT_FALSE (component.isTimerRunning());
    EXPECT_TRUE (isIdle());

    using Kind = TuneKestruneEngine::CalibrationWriteKind;
    component.calibrationWriteFinished ({ Kind::restoreDefault, false, { 30 } });   // the application's to tell
    EXPECT_TRUE (component.boxes.empty());

    component.calibrationWriteFinished ({ Kind::newCalibration, false, { 30, 42 } });
    ASSERT_EQ (component.boxes.size(), 1u);
    EXPECT_EQ (component.boxes[0].title, "Calibration Not Stored");
    EXPECT_TRUE (component.boxes[0].message.contains ("F#0 (30), F#1 (42)")) << component.boxes[0].message;

    component.calibrationWriteFinished ({ Kind::newCalibration, true, {} });
    ASSERT_EQ (component.boxes.size(), 2u);
    EXPECT_EQ (component.boxes[1].icon, juce::MessageBoxIconType::NoIcon);
    EXPECT_EQ (component.boxes[1].title, "Calibration Complete");
    EXPECT_EQ (component.boxes[1].message, "The calibration process has been completed.");
    EXPECT_EQ (component.boxes[1].buttonText, "OK");
}

TEST_F (MainWindowComponentTest, EveryMeasurementRestartsTheWatchdog)
{
    rig.startCalibration();
    EXPECT_FALSE (component.isTimerRunning());

    // The knob step's measurements arm the watchdog too.
    rig.tickPastSettling();
    EXPECT_TRUE (component.isTimerRunning());
    EXPECT_EQ (component.getTimerInterval(), 1000);
}

TEST_F (MainWindowComponentTest, WatchdogReturnsToIdleWithTheWarningAndLeavesTheEngineAlone)
{
    rig.startRun();
    rig.ports->clearSent();

    component.timerCallback();

    ASSERT_EQ (component.boxes.size(), 1u);
    EXPECT_EQ (component.boxes[0].icon, juce::MessageBoxIconType::WarningIcon);
    EXPECT_EQ (component.boxes[0].title, failureTitle);
    EXPECT_TRUE (component.boxes[0].message.startsWith ("Verify Audio/MIDI Settings, and make sure you have set"));
    EXPECT_TRUE (component.boxes[0].message.endsWith ("run the calibration again using the Sweep Tune setting."));
    EXPECT_TRUE (isIdle());
    EXPECT_EQ (progressDisplay().getProgress(), 0.0);
    EXPECT_FALSE (component.isTimerRunning());

    EXPECT_TRUE (rig.engine->isTuning());
    EXPECT_TRUE (rig.sent().empty());
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
    EXPECT_TRUE (sent.front().isNoteOff());
    EXPECT_EQ (sent.front().getNoteNumber(), 24);
}

TEST_F (MainWindowComponentTest, EngineFailureShowsTheWarningAndReturnsToIdle)
{
    rig.startRun();
    component.tuningProgressChanged (0.4);

    // The engine's own time-out: tuningStopped, then tuningFailed.
    component.tuningStopped();
    EXPECT_TRUE (component.isTimerRunning());
    component.tuningFailed();

    ASSERT_EQ (component.boxes.size(), 1u);
    EXPECT_EQ (component.boxes[0].title, failureTitle);
    EXPECT_TRUE (isIdle());
    EXPECT_EQ (progressDisplay().getProgress(), 0.0);
    EXPECT_FALSE (component.isTimerRunning());
}

TEST_F (MainWindowComponentTest, UnpluggedMachineStopsAtOnceAndWarnsWhenMeasurementsCease)
{
    rig.startRun();

    rig.ports->unplugOutput (UiTestRig::portName);
    rig.midiManager->timerCallback();

    EXPECT_FALSE (rig.engine->isTuning());
    EXPECT_TRUE (isIdle());
    EXPECT_TRUE (component.boxes.empty());
    EXPECT_TRUE (component.isTimerRunning());

    component.timerCallback();
    ASSERT_EQ (component.boxes.size(), 1u);
    EXPECT_EQ (component.boxes[0].title, failureTitle);
}

TEST_F (MainWindowComponentTest, RefusedStartShowsWhyAndStaysIdle)
{
    component.buttonClicked (&startButton());

    ASSERT_EQ (component.boxes.size(), 1u);
    EXPECT_EQ (component.boxes[0].icon, juce::MessageBoxIconType::NoIcon);
    EXPECT_EQ (component.boxes[0].title, "Unable to Perform Tuning Calibration");
    EXPECT_EQ (component.boxes[0].message, "Verify Audio/MIDI Settings.");
    EXPECT_TRUE (isIdle());
}

TEST_F (MainWindowComponentTest, NoCalibrationWhileATuningCheckRuns)
{
    rig.replyFirmwareVersion();
    ASSERT_TRUE (rig.engine->startTuningCheck (nullptr));
    const auto sent = rig.sent().size();
    component.buttonClicked (&startButton());

    ASSERT_EQ (component.boxes.size(), 1u);
    EXPECT_EQ (component.boxes[0].message, MainWindowComponent::checkingMessage);
    EXPECT_EQ (rig.sent().size(), sent);
    EXPECT_TRUE (isIdle());
    rig.engine->stopTuningCheck();
}

TEST_F (MainWindowComponentTest, EndOfRunMakesTheCommandsReadTheirStateAgain)
{
    CommandListChanges changes;
    commands.addListener (&changes);

    component.tuningStopped();
    UiTestRig::deliverPendingMessages();
    EXPECT_EQ (changes.count, 1);

    commands.removeListener (&changes);
}

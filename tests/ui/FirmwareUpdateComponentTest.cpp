#include "ComponentTree.h"
#include "UiTestRig.h"
#include "ui/FirmwareUpdateComponent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace
{
// Records the message boxes instead of showing them (no display here).
struct RecordingFirmwareUpdateComponent : FirmwareUpdateComponent
{
    using FirmwareUpdateComponent::FirmwareUpdateComponent;

    juce::StringArray titles;
    std::unique_ptr<juce::ModalComponentManager::Callback> completionOk;
    std::function<void()> tryAgain;

    void click() { buttonClicked (findChild<juce::Button> (*this, "Update Firmware Button")); }
    bool buttonEnabled() const { return findChild<juce::Button> (*this, "Update Firmware Button")->isEnabled(); }
    void askToTryAgain (std::function<void()> onTryAgain) override
    {
        titles.add (notAcceptedTitle);
        tryAgain = std::move (onTryAgain);
    }
    void showMessageBox (const juce::String& title, const juce::String& message,
                         juce::ModalComponentManager::Callback* callback) override
    {
        titles.add (callback != nullptr || title == timedOutTitle ? title : message); // a refusal: its reason
        completionOk.reset (callback);
    }
};

class FirmwareUpdateComponentTest : public ::testing::Test
{
protected:
    // The window owns its content, as FirmwareUpdateWindow does.
    RecordingFirmwareUpdateComponent& open()
    {
        window = std::make_unique<juce::Component>();
        owned = std::make_unique<RecordingFirmwareUpdateComponent> (rig.engine);
        window->addAndMakeVisible (*owned);
        return *owned;
    }
    void closeWindow() { owned = nullptr, window = nullptr; }
    void reply (juce::uint8 minor) { rig.replyVersion (0, minor > 0, 0, minor), UiTestRig::deliverPendingMessages(); }
    // The transfer went out in full, the machine still reports the old version.
    RecordingFirmwareUpdateComponent& sendAll()
    {
        auto& c = open();
        c.click();
        c.click(); // a second press has no effect
        EXPECT_EQ (updateRequestsSent(), 1);
        c.firmwareProgressChanged (nullptr, 0.0);
        c.firmwareProgressChanged (nullptr, 1.0);
        EXPECT_TRUE (c.isConfirming());
        EXPECT_FALSE (c.buttonEnabled());
        reply (4); // still running until reset: keep asking
        EXPECT_EQ (findChild<juce::Label> (c, "Curent Firmware Version")->getText(), "Current Version: 1.04");
        EXPECT_TRUE (c.titles.isEmpty());
        EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
        rig.ports->clearSent();
        return c;
    }
    long updateRequestsSent() const
    {
        const auto sent = rig.sent();
        return std::count (sent.begin(), sent.end(), "update");
    }

    UiTestRig rig;
    std::unique_ptr<juce::Component> window;
    std::unique_ptr<RecordingFirmwareUpdateComponent> owned;
};
} // namespace

TEST_F (FirmwareUpdateComponentTest, NoUpdateWhileACalibrationOrACheckRuns)
{
    auto& c = open();
    c.tuningStarted();
    EXPECT_FALSE (c.buttonEnabled());
    c.tuningFailed();
    EXPECT_TRUE (c.buttonEnabled());

    // The knob step, the restore after it and a tuning check: refused with a
    // word each, nothing sent.
    rig.startCalibration();
    c.click();
    rig.engine->abortTuning();
    c.click();
    rig.finishWrites();
    ASSERT_TRUE (rig.engine->startTuningCheck (nullptr));
    c.click();
    rig.engine->stopTuningCheck();
    EXPECT_EQ (updateRequestsSent(), 0);
    EXPECT_EQ (c.titles, juce::StringArray (FirmwareUpdateComponent::calibratingMessage, FirmwareUpdateComponent::writingMessage,
                                            FirmwareUpdateComponent::checkingMessage));

    // Once an update runs, the end of a calibration leaves the button disabled.
    c.click();
    ASSERT_TRUE (rig.engine->isUpdatingFirmware());
    c.tuningStarted();
    c.tuningStopped();
    EXPECT_FALSE (c.buttonEnabled());
}

TEST_F (FirmwareUpdateComponentTest, CompleteOnlyOnceTheMachineReportsTheNewVersionAndOkClosesTheWindow)
{
    auto& c = sendAll();
    reply (5);
    EXPECT_FALSE (c.isTimerRunning() || c.isUpdateInProgress());
    EXPECT_EQ (c.titles, juce::StringArray (FirmwareUpdateComponent::completeTitle));
    // OK: the window goes (and in the application the component with it).
    juce::Component::SafePointer<juce::Component> watch (window.release());
    ASSERT_NE (c.completionOk, nullptr);
    c.completionOk->modalStateFinished (1);
    EXPECT_EQ (watch.getComponent(), nullptr);
}

TEST_F (FirmwareUpdateComponentTest, AnUpdateTheMachineDoesNotConfirmIn30SecondsCanBeSentAgain)
{
    auto& c = sendAll();
    c.timerCallback(); // 30 s later
    EXPECT_EQ (c.titles, juce::StringArray (FirmwareUpdateComponent::notAcceptedTitle));
    EXPECT_FALSE (c.isConfirming());
    // Whatever the answer, the window is ready again, and says so.
    EXPECT_TRUE (c.buttonEnabled());
    EXPECT_EQ (findChild<juce::Label> (c, "Update Information")->getText(), FirmwareUpdateComponent::updateInformationText);
    ASSERT_TRUE (c.tryAgain != nullptr);
    c.tryAgain();
    EXPECT_TRUE (rig.engine->isUpdatingFirmware());
    EXPECT_EQ (updateRequestsSent(), 1);
    EXPECT_DOUBLE_EQ (c.getProgress(), 0.0);
}

TEST_F (FirmwareUpdateComponentTest, LateVersionsAndBoxesAfterTheWindowClosedTouchNothing)
{
    auto* first = &open();
    std::thread midiThread ([first] { first->firmwareVersionReceived (1.04); });
    midiThread.join();
    closeWindow();
    UiTestRig::deliverPendingMessages();

    auto& c = open();
    c.click();
    c.firmwareProgressChanged (nullptr, 1.0);
    reply (5);
    auto ok = std::move (c.completionOk);
    ASSERT_NE (ok, nullptr);
    closeWindow();
    ok->modalStateFinished (1);
}

TEST_F (FirmwareUpdateComponentTest, RefusalIsExplainedAndTheWindowStaysUsable)
{
    rig.ports->plugOutput ("Synth");
    auto& c = open();
    for (auto outputs : { juce::StringArray(), juce::StringArray { enginetest::portName, "Synth" }, juce::StringArray { enginetest::portName } })
    {
        SCOPED_TRACE (outputs.joinIntoString (","));
        rig.midi->closeAllOutputDevices();
        for (auto& name : outputs)
            rig.midi->openOutputDevice (name);
        c.titles.clear();
        c.click();
        const bool refused = outputs.size() != 1;
        EXPECT_EQ (c.titles, refused ? juce::StringArray (FirmwareUpdateComponent::notStartedMessage) : juce::StringArray());
        EXPECT_EQ (rig.engine->isUpdatingFirmware(), ! refused);
        EXPECT_EQ (c.buttonEnabled(), refused);
    }
}

TEST_F (FirmwareUpdateComponentTest, ClosingTheWindowCancelsTheTransferAndANewWindowSeesOneRunning)
{
    open().click();
    ASSERT_TRUE (rig.engine->isUpdatingFirmware());
    closeWindow();
    EXPECT_FALSE (rig.engine->isUpdatingFirmware());

    ASSERT_TRUE (rig.engine->startFirmwareUpdate (nullptr));
    auto& c = open();
    EXPECT_TRUE (c.isUpdateInProgress());
    EXPECT_FALSE (c.buttonEnabled());
}

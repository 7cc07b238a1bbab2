#include "ComponentTree.h"
#include "UiTestRig.h"
#include "engine/EngineTestSupport.h"
#include "ui/FirmwareUpdateComponent.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace
{
// Records the message boxes instead of showing them (no display here).
class RecordingFirmwareUpdateComponent : public FirmwareUpdateComponent
{
public:
    using FirmwareUpdateComponent::FirmwareUpdateComponent;

    struct Box
    {
        juce::String title, message;
        std::unique_ptr<juce::ModalComponentManager::Callback> callback;
    };
    std::vector<Box> boxes;
    std::function<void()> tryAgain;
    FirmwareSysexSender* sender = nullptr;

    void firmwareStatusChanged (FirmwareSysexSender* s, const juce::String& status) override
    {
        sender = s;
        FirmwareUpdateComponent::firmwareStatusChanged (s, status);
    }
    void click() { buttonClicked (findChild<juce::Button> (*this, "Update Firmware Button")); }
    bool buttonEnabled() const { return findChild<juce::Button> (*this, "Update Firmware Button")->isEnabled(); }

protected:
    void askToTryAgain (std::function<void()> onTryAgain) override
    {
        boxes.push_back ({ notAcceptedTitle, notAcceptedMessage, nullptr });
        tryAgain = std::move (onTryAgain);
    }
    void showMessageBox (const juce::String& title, const juce::String& message,
                         juce::ModalComponentManager::Callback* callback) override
    {
        boxes.push_back ({ title, message, std::unique_ptr<juce::ModalComponentManager::Callback> (callback) });
    }
};

class FirmwareUpdateComponentTest : public ::testing::Test
{
protected:
    ~FirmwareUpdateComponentTest() override { closeWindow(); }

    // The window owns its content, as FirmwareUpdateWindow does.
    RecordingFirmwareUpdateComponent& open()
    {
        window = std::make_unique<juce::Component>();
        owned = std::make_unique<RecordingFirmwareUpdateComponent> (rig.engine);
        window->addAndMakeVisible (*owned);
        return *owned;
    }
    void closeWindow()
    {
        owned = nullptr;
        window = nullptr;
    }
    juce::String versionLabel() const { return findChild<juce::Label> (*owned, "Curent Firmware Version")->getText(); }
    void reply (juce::uint8 minor) { rig.ports->injectMessage (UiTestRig::portName, DeviceMessages::identityReply (0, 1, 0, minor)); }

    // The transfer went out in full: waiting for the machine's new version.
    RecordingFirmwareUpdateComponent& sendAll()
    {
        auto& c = open();
        c.click();
        c.firmwareProgressChanged (nullptr, 0.0);
        c.firmwareProgressChanged (nullptr, 1.0);
        return c;
    }

    int updateRequestsSent() const
    {
        const auto request = DeviceMessages::firmwareUpdateRequest();
        int n = 0;
        for (auto& m : rig.sent())
            n += m.getRawDataSize() == request.getRawDataSize()
                 && std::memcmp (m.getRawData(), request.getRawData(), (size_t) request.getRawDataSize()) == 0;
        return n;
    }

    UiTestRig rig;
    std::unique_ptr<juce::Component> window;
    std::unique_ptr<RecordingFirmwareUpdateComponent> owned;
};
} // namespace

TEST_F (FirmwareUpdateComponentTest, VersionFromTheMidiThreadReachesTheLabelOnTheMessageThread)
{
    auto& c = open();
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
    rig.replyFirmwareVersion (0, 1, 0, 4);
    EXPECT_EQ (versionLabel(), ""); // posted, not done on the MIDI thread
    UiTestRig::deliverPendingMessages();
    EXPECT_EQ (versionLabel(), "Current Version: 1.04");

    std::thread zero ([&c] { c.firmwareVersionReceived (0.0); });
    zero.join();
    UiTestRig::deliverPendingMessages();
    EXPECT_EQ (versionLabel(), "Firmware Not Detected");
    EXPECT_EQ (FirmwareUpdateComponent::versionText (1.1), "Current Version: 1.10");
}

TEST_F (FirmwareUpdateComponentTest, NoUpdateWhileACalibrationOrACheckRuns)
{
    auto& c = open();
    c.tuningStarted();
    EXPECT_FALSE (c.buttonEnabled());
    c.click();
    EXPECT_FALSE (rig.engine->isUpdatingFirmware());
    c.tuningFailed();
    EXPECT_TRUE (c.buttonEnabled());

    // The knob step and a tuning check: refused with a word each, nothing sent.
    rig.startCalibration();
    c.click();
    rig.engine->abortTuning();
    ASSERT_TRUE (rig.engine->startTuningCheck (nullptr));
    c.click();
    rig.engine->stopTuningCheck();
    EXPECT_EQ (updateRequestsSent(), 0);
    ASSERT_EQ (c.boxes.size(), 2u);
    EXPECT_EQ (c.boxes[0].message, FirmwareUpdateComponent::calibratingMessage);
    EXPECT_EQ (c.boxes[1].message, FirmwareUpdateComponent::checkingMessage);

    // Once an update runs, the end of a calibration leaves the button disabled.
    c.click();
    ASSERT_TRUE (rig.engine->isUpdatingFirmware());
    c.tuningStarted();
    c.tuningStopped();
    EXPECT_FALSE (c.buttonEnabled());
}

TEST_F (FirmwareUpdateComponentTest, StalledStreamTimesOutAndCancelsTheTransfer)
{
    auto& c = open();
    c.click();
    EXPECT_FALSE (c.isTimerRunning()); // no watchdog before the first slice
    c.firmwareProgressChanged (nullptr, 0.25);
    EXPECT_TRUE (c.isTimerRunning());

    c.timerCallback(); // 500 ms without a report
    ASSERT_EQ (c.boxes.size(), 1u);
    EXPECT_EQ (c.boxes[0].title, FirmwareUpdateComponent::timedOutTitle);
    EXPECT_EQ (c.boxes[0].callback, nullptr);
    EXPECT_FALSE (rig.engine->isUpdatingFirmware());
    EXPECT_FALSE (c.buttonEnabled()); // this window makes no second attempt
}

TEST_F (FirmwareUpdateComponentTest, CompleteOnlyOnceTheMachineReportsTheNewVersionAndOkClosesTheWindow)
{
    auto& c = open();
    c.click();
    c.click(); // a second press has no effect
    EXPECT_EQ (updateRequestsSent(), 1);
    EXPECT_FALSE (rig.engine->isFirmwareQueryRunning());
    c.firmwareProgressChanged (nullptr, 0.0);
    c.firmwareProgressChanged (nullptr, 1.0);
    EXPECT_TRUE (c.isConfirming());
    EXPECT_FALSE (c.buttonEnabled());
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());

    reply (4); // the old version, still running until reset: keep asking
    UiTestRig::deliverPendingMessages();
    EXPECT_TRUE (c.boxes.empty());
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());

    reply (5);
    UiTestRig::deliverPendingMessages();
    EXPECT_FALSE (c.isTimerRunning());
    EXPECT_FALSE (c.isUpdateInProgress());
    ASSERT_EQ (c.boxes.size(), 1u);
    EXPECT_EQ (c.boxes[0].title, FirmwareUpdateComponent::completeTitle);
    ASSERT_NE (c.boxes[0].callback, nullptr);

    // OK: the window goes (and in the application the component with it).
    juce::Component::SafePointer<juce::Component> watch (window.get());
    auto callback = std::move (c.boxes[0].callback);
    (void) window.release();
    callback->modalStateFinished (1);
    EXPECT_EQ (watch.getComponent(), nullptr);
}

TEST_F (FirmwareUpdateComponentTest, AnUpdateTheMachineDoesNotConfirmIn30SecondsCanBeSentAgain)
{
    auto& c = sendAll();
    rig.ports->injectMessage (UiTestRig::portName, DeviceMessages::identityReply (0, 0, 0, 0)); // the boot loader
    UiTestRig::deliverPendingMessages();
    EXPECT_TRUE (c.boxes.empty());
    c.timerCallback(); // 30 s later
    ASSERT_EQ (c.boxes.size(), 1u);
    EXPECT_EQ (c.boxes[0].title, FirmwareUpdateComponent::notAcceptedTitle);
    EXPECT_FALSE (c.isConfirming());

    rig.ports->clearSent();
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

    auto& c = sendAll();
    reply (5);
    UiTestRig::deliverPendingMessages();
    ASSERT_EQ (c.boxes.size(), 1u);
    auto callback = std::move (c.boxes[0].callback);
    closeWindow();
    callback->modalStateFinished (1);
}

TEST_F (FirmwareUpdateComponentTest, RefusalIsExplainedAndTheWindowStaysUsable)
{
    rig.ports->plugOutput ("Synth");
    auto& c = open();
    for (auto outputs : { juce::StringArray(), juce::StringArray { UiTestRig::portName, "Synth" } })
    {
        SCOPED_TRACE (outputs.joinIntoString (","));
        rig.midiManager->closeAllOutputDevices();
        for (auto& name : outputs)
            rig.midiManager->openOutputDevice (name);
        c.boxes.clear();
        c.click();
        ASSERT_EQ (c.boxes.size(), 1u);
        EXPECT_EQ (c.boxes[0].message, FirmwareUpdateComponent::notStartedMessage);
        EXPECT_FALSE (rig.engine->isUpdatingFirmware());
        EXPECT_TRUE (c.buttonEnabled());
        EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
    }
    rig.midiManager->closeAllOutputDevices();
    rig.midiManager->openOutputDevice (UiTestRig::portName);
    c.click();
    EXPECT_EQ (updateRequestsSent(), 1);
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

TEST (FirmwareUpdateWithTheVirtualMachine, CompleteWhenTheMachineTookTheImageNotWhenASliceWasLost)
{
    for (const bool loseASlice : { false, true })
    {
        SCOPED_TRACE (loseASlice);
        auto options = enginetest::machineOptions (0, 0.0);
        options.firmwareVersion = "1.04";
        enginetest::SimRig rig (options);
        juce::Component window;
        auto c = std::make_unique<RecordingFirmwareUpdateComponent> (rig.engine);
        window.addAndMakeVisible (*c);
        c->click();
        ASSERT_NE (c->sender, nullptr);
        for (int tick = 0; tick < 3000 && ! c->isConfirming(); ++tick)
        {
            rig.clock.advanceMs (10);
            if (loseASlice && tick == 1100)
                rig.ports->loseNextMessages (1);
            c->sender->timerCallback();
        }
        ASSERT_TRUE (c->isConfirming());
        rig.clock.advanceMs (6000); // a stream that stopped short is given up
        rig.machine->tick();
        rig.midi->sendMessageToAllOutputs (DeviceMessages::identityRequest()); // the engine's version query
        UiTestRig::deliverPendingMessages();
        if (loseASlice)
        {
            EXPECT_TRUE (c->boxes.empty());
            c->timerCallback(); // 30 s later
        }
        ASSERT_EQ (c->boxes.size(), 1u);
        EXPECT_EQ (c->boxes[0].title, loseASlice ? FirmwareUpdateComponent::notAcceptedTitle
                                                 : FirmwareUpdateComponent::completeTitle);
    }
}

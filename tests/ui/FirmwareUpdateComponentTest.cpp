#include "ComponentTree.h"
#include "engine/EngineTestSupport.h"
#include "TestAudioDeviceManager.h"
#include "midi/DeviceMessages.h"
#include "support/FakeMidiPortSystem.h"
#include "tuning/TuneKestruneEngine.h"
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

void deliverPendingMessages()
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (30);
}

class FirmwareUpdateComponentTest : public ::testing::Test
{
protected:
    FirmwareUpdateComponentTest()
    {
        ports->plugInput ("Kestrune Jack 1");
        ports->plugOutput ("Kestrune Jack 1");
        ports->plugOutput ("Synth");
        midi = new MidiManager (ports);
        midi->openInputDevice ("Kestrune Jack 1");
        midi->openOutputDevice ("Kestrune Jack 1");
        engine = new TuneKestruneEngine (audio, midi);
    }

    ~FirmwareUpdateComponentTest() override
    {
        closeWindow();
        engine = nullptr;
        midi = nullptr;
    }

    RecordingFirmwareUpdateComponent& open()
    {
        window = std::make_unique<juce::Component>();
        component = new RecordingFirmwareUpdateComponent (engine);
        // The window owns its content, as FirmwareUpdateWindow does.
        owned.reset (component);
        window->addAndMakeVisible (component);
        watchWindow = window.get();
        return *component;
    }

    void closeWindow()
    {
        owned = nullptr;
        component = nullptr;
        window = nullptr;
    }

    juce::Button& button() const
    {
        auto* b = findChild<juce::Button> (*component, "Update Firmware Button");
        EXPECT_NE (b, nullptr);
        return *b;
    }

    juce::String label (const char* name) const
    {
        auto* l = findChild<juce::Label> (*component, name);
        EXPECT_NE (l, nullptr) << name;
        return l != nullptr ? l->getText() : juce::String();
    }

    void click() { component->buttonClicked (&button()); }

    int updateRequestsSent() const
    {
        int n = 0;
        const auto request = DeviceMessages::firmwareUpdateRequest();
        for (auto& m : ports->sentTo ("Kestrune Jack 1"))
            n += m.getRawDataSize() == request.getRawDataSize()
                         && std::memcmp (m.getRawData(), request.getRawData(), (size_t) request.getRawDataSize()) == 0
                     ? 1
                     : 0;
        return n;
    }

    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr midi;
    TestAudioDeviceManager audio;
    TuneKestruneEngine::Ptr engine;
    std::unique_ptr<juce::Component> window;
    std::unique_ptr<RecordingFirmwareUpdateComponent> owned;
    RecordingFirmwareUpdateComponent* component = nullptr;
    juce::Component::SafePointer<juce::Component> watchWindow;
};
} // namespace

TEST_F (FirmwareUpdateComponentTest, ShowsTheTextsAndVersionsAtTheirPlaces)
{
    open();
    EXPECT_EQ (component->getWidth(), 400);
    EXPECT_EQ (component->getHeight(), 311);
    EXPECT_EQ (label ("Update Information"), "To use the Kestrune Tuning Utility, you will first need to update to "
                                              "the latest version of the firmware.");
    EXPECT_EQ (label ("Update Firmware Version"), "Latest Version: 1.05");
    EXPECT_EQ (label ("Curent Firmware Version"), "");
    EXPECT_EQ (button().getBounds(), juce::Rectangle<int> (180, 215, 212, 56));
    EXPECT_TRUE (button().isEnabled());
    EXPECT_TRUE (engine->isFirmwareQueryRunning());

    EXPECT_EQ (FirmwareUpdateComponent::versionText (1.04), "Current Version: 1.04");
    EXPECT_EQ (FirmwareUpdateComponent::versionText (1.1), "Current Version: 1.10");
    EXPECT_EQ (FirmwareUpdateComponent::versionText (0.0), "Firmware Not Detected");
}

TEST_F (FirmwareUpdateComponentTest, VersionFromTheMidiThreadReachesTheLabelOnTheMessageThread)
{
    open();
    std::thread midiThread ([this] {
        ports->injectMessage ("Kestrune Jack 1", DeviceMessages::identityReply (0, 1, 0, 4));
    });
    midiThread.join();

    EXPECT_DOUBLE_EQ (component->getDetectedVersion(), 1.04);
    EXPECT_EQ (label ("Curent Firmware Version"), ""); // posted, not done on the MIDI thread
    deliverPendingMessages();
    EXPECT_EQ (label ("Curent Firmware Version"), "Current Version: 1.04");

    std::thread zero ([this] { component->firmwareVersionReceived (0.0); });
    zero.join();
    deliverPendingMessages();
    EXPECT_EQ (label ("Curent Firmware Version"), "Firmware Not Detected");
}

TEST_F (FirmwareUpdateComponentTest, AVersionPostedJustBeforeTheWindowClosesIsDropped)
{
    open();
    std::thread midiThread ([this] { component->firmwareVersionReceived (1.04); });
    midiThread.join();
    closeWindow();
    deliverPendingMessages(); // must not touch the destroyed component
    SUCCEED();
}

TEST_F (FirmwareUpdateComponentTest, NoUpdateWhileACalibrationRuns)
{
    open();
    component->tuningStarted();
    EXPECT_FALSE (button().isEnabled());

    click();
    EXPECT_FALSE (engine->isUpdatingFirmware());
    EXPECT_FALSE (component->isUpdateInProgress());
    EXPECT_EQ (updateRequestsSent(), 0);

    component->tuningStopped();
    EXPECT_TRUE (button().isEnabled());
    component->tuningStarted();
    component->tuningFailed();
    EXPECT_TRUE (button().isEnabled());

    // The knob step (no run yet): refused with a word, nothing sent.
    ports->injectMessage ("Kestrune Jack 1", DeviceMessages::identityReply (0, 1, 0, 4));
    ASSERT_TRUE (engine->startTuningCalibration());
    click();
    EXPECT_FALSE (engine->isUpdatingFirmware());
    EXPECT_EQ (updateRequestsSent(), 0);
    ASSERT_EQ (component->boxes.size(), 1u);
    EXPECT_EQ (component->boxes[0].message, FirmwareUpdateComponent::calibratingMessage);
    engine->abortTuning();

    // A tuning check: refused with its own word.
    ASSERT_TRUE (engine->startTuningCheck (nullptr));
    click();
    EXPECT_EQ (updateRequestsSent(), 0);
    ASSERT_EQ (component->boxes.size(), 2u);
    EXPECT_EQ (component->boxes[1].message, FirmwareUpdateComponent::checkingMessage);
    engine->stopTuningCheck();

    // Once an update runs, the end of a calibration leaves the button disabled.
    click();
    ASSERT_TRUE (engine->isUpdatingFirmware());
    component->tuningStarted();
    component->tuningStopped();
    EXPECT_FALSE (button().isEnabled());
}

TEST_F (FirmwareUpdateComponentTest, StartingSendsTheRequestAndWaitsWithoutWatchdog)
{
    open();
    click();

    EXPECT_TRUE (engine->isUpdatingFirmware());
    EXPECT_TRUE (component->isUpdateInProgress());
    EXPECT_FALSE (button().isEnabled());
    EXPECT_EQ (updateRequestsSent(), 1);
    EXPECT_FALSE (component->isTimerRunning());

    click(); // a second press has no effect
    EXPECT_EQ (updateRequestsSent(), 1);
    EXPECT_TRUE (component->boxes.empty());
}

TEST_F (FirmwareUpdateComponentTest, StalledStreamTimesOutAndCancelsTheTransfer)
{
    open();
    click();
    component->firmwareProgressChanged (nullptr, 0.0);
    component->stopTimer();
    component->firmwareProgressChanged (nullptr, 0.25); // each report re-arms the watchdog
    EXPECT_TRUE (component->isTimerRunning());
    EXPECT_EQ (component->getTimerInterval(), 500);
    EXPECT_DOUBLE_EQ (component->getProgress(), 0.25);

    component->timerCallback(); // 500 ms without a report

    ASSERT_EQ (component->boxes.size(), 1u);
    EXPECT_EQ (component->boxes[0].title, "Firmware Update Timed Out");
    EXPECT_EQ (component->boxes[0].message, "Kestrune Firmware Update has been timed out. Verify MIDI Settings.");
    EXPECT_EQ (component->boxes[0].callback, nullptr);
    EXPECT_FALSE (engine->isUpdatingFirmware());
    EXPECT_FALSE (component->isTimerRunning());
    EXPECT_FALSE (button().isEnabled());

    // This window makes no second attempt.
    click();
    EXPECT_FALSE (engine->isUpdatingFirmware());
}

TEST_F (FirmwareUpdateComponentTest, CompleteOnlyOnceTheMachineReportsTheNewVersionAndOkClosesTheWindow)
{
    open();
    click();
    EXPECT_FALSE (engine->isFirmwareQueryRunning());
    component->firmwareProgressChanged (nullptr, 0.0);
    component->firmwareProgressChanged (nullptr, 1.0);

    // The last slice went: the bar is full, the button off, and the version asked for.
    EXPECT_TRUE (component->isConfirming());
    EXPECT_TRUE (component->boxes.empty());
    EXPECT_DOUBLE_EQ (component->getProgress(), 1.0);
    EXPECT_FALSE (button().isEnabled());
    EXPECT_TRUE (engine->isFirmwareQueryRunning());
    EXPECT_EQ (label ("Update Information"), FirmwareUpdateComponent::confirmingText);

    // The old version (still running until reset): keep asking.
    ports->injectMessage ("Kestrune Jack 1", DeviceMessages::identityReply (0, 1, 0, 4));
    deliverPendingMessages();
    EXPECT_TRUE (component->boxes.empty());
    EXPECT_TRUE (engine->isFirmwareQueryRunning());

    ports->injectMessage ("Kestrune Jack 1", DeviceMessages::identityReply (0, 1, 0, 5));
    deliverPendingMessages();
    EXPECT_FALSE (component->isTimerRunning());
    EXPECT_FALSE (component->isUpdateInProgress());
    ASSERT_EQ (component->boxes.size(), 1u);
    EXPECT_EQ (component->boxes[0].title, "Firmware Update Complete");
    EXPECT_EQ (component->boxes[0].message, "Kestrune firmware has been updated. Press the Play button on the "
                                            "Kestrune to reset the device with the new firmware.");
    ASSERT_NE (component->boxes[0].callback, nullptr);

    // OK: the window goes (and in the application the component with it).
    auto callback = std::move (component->boxes[0].callback);
    (void) window.release();
    callback->modalStateFinished (1);
    EXPECT_EQ (watchWindow.getComponent(), nullptr);
}

TEST_F (FirmwareUpdateComponentTest, AnUpdateTheMachineDoesNotConfirmIn30SecondsCanBeSentAgain)
{
    open();
    click();
    component->firmwareProgressChanged (nullptr, 0.0);
    component->firmwareProgressChanged (nullptr, 1.0);
    ports->injectMessage ("Kestrune Jack 1", DeviceMessages::identityReply (0, 0, 0, 0));   // the boot loader
    deliverPendingMessages();
    EXPECT_TRUE (component->boxes.empty());
    ASSERT_TRUE (component->isTimerRunning());

    component->timerCallback();   // 30 s later
    ASSERT_EQ (component->boxes.size(), 1u);
    EXPECT_EQ (component->boxes[0].title, FirmwareUpdateComponent::notAcceptedTitle);
    EXPECT_FALSE (component->isConfirming());

    ports->clearSent();
    ASSERT_TRUE (component->tryAgain != nullptr);
    component->tryAgain();
    EXPECT_TRUE (engine->isUpdatingFirmware());
    EXPECT_EQ (updateRequestsSent(), 1);
    EXPECT_DOUBLE_EQ (component->getProgress(), 0.0);
}

TEST_F (FirmwareUpdateComponentTest, CompletionBoxDismissedAfterTheWindowWasClosedDoesNothing)
{
    open();
    click();
    component->firmwareProgressChanged (nullptr, 1.0);
    ports->injectMessage ("Kestrune Jack 1", DeviceMessages::identityReply (0, 1, 0, 5));
    deliverPendingMessages();
    ASSERT_EQ (component->boxes.size(), 1u);
    auto callback = std::move (component->boxes[0].callback);
    closeWindow();
    callback->modalStateFinished (1); // must not touch the destroyed component
    SUCCEED();
}

TEST_F (FirmwareUpdateComponentTest, RefusalIsExplainedAndTheWindowStaysUsable)
{
    midi->closeAllOutputDevices(); // no output: the engine refuses
    open();
    click();

    ASSERT_EQ (component->boxes.size(), 1u);
    EXPECT_EQ (component->boxes[0].title, FirmwareUpdateComponent::notStartedTitle);
    EXPECT_TRUE (component->boxes[0].message.contains ("MIDI"));
    EXPECT_FALSE (engine->isUpdatingFirmware());
    EXPECT_FALSE (component->isUpdateInProgress());
    EXPECT_TRUE (button().isEnabled());
    EXPECT_TRUE (engine->isFirmwareQueryRunning());

    // Two outputs: refused as well.
    midi->openOutputDevice ("Kestrune Jack 1");
    midi->openOutputDevice ("Synth");
    click();
    EXPECT_EQ (component->boxes.size(), 2u);
    EXPECT_TRUE (button().isEnabled());

    // With the ports right, the same window starts the update.
    midi->closeAllOutputDevices();
    midi->openOutputDevice ("Kestrune Jack 1");
    click();
    EXPECT_TRUE (engine->isUpdatingFirmware());
    EXPECT_EQ (updateRequestsSent(), 1);
    EXPECT_EQ (component->boxes.size(), 2u);
}

TEST_F (FirmwareUpdateComponentTest, ClosingTheWindowDuringAnUpdateCancelsTheTransfer)
{
    open();
    click();
    ASSERT_TRUE (engine->isUpdatingFirmware());
    closeWindow();
    EXPECT_FALSE (engine->isUpdatingFirmware());
}

TEST_F (FirmwareUpdateComponentTest, AWindowOpenedDuringATransferStartsDisabled)
{
    ASSERT_TRUE (engine->startFirmwareUpdate (nullptr));
    open();
    EXPECT_TRUE (component->isUpdateInProgress());
    EXPECT_FALSE (button().isEnabled());
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
        auto component = std::make_unique<RecordingFirmwareUpdateComponent> (rig.engine);
        window.addAndMakeVisible (*component);

        for (auto* child : component->getChildren())
            if (child->getName() == "Update Firmware Button")
                component->buttonClicked (dynamic_cast<juce::Button*> (child));
        ASSERT_NE (component->sender, nullptr);
        for (int tick = 0; tick < 3000 && ! component->isConfirming(); ++tick)
        {
            rig.clock.advanceMs (10);
            if (loseASlice && tick == 1100)
                rig.ports->loseNextMessages (1);
            component->sender->timerCallback();
        }
        ASSERT_TRUE (component->isConfirming());
        rig.clock.advanceMs (6000);   // a stream that stopped short is given up
        rig.machine->tick();

        // The engine's version query.
        rig.midi->sendMessageToAllOutputs (DeviceMessages::identityRequest());
        deliverPendingMessages();
        if (! loseASlice)
        {
            ASSERT_EQ (component->boxes.size(), 1u);
            EXPECT_EQ (component->boxes[0].title, FirmwareUpdateComponent::completeTitle);
        }
        else
        {
            EXPECT_TRUE (component->boxes.empty());
            EXPECT_EQ (rig.machine->getFirmwareVersion(), "0.00");
            component->timerCallback();   // 30 s later
            ASSERT_EQ (component->boxes.size(), 1u);
            EXPECT_EQ (component->boxes[0].title, FirmwareUpdateComponent::notAcceptedTitle);
        }
        component = nullptr;
    }
}

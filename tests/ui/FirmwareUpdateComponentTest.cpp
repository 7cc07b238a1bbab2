#include "support/ComponentTree.h"
#include "support/FirmwareStreaming.h"
#include "support/UiTestRig.h"
#include "ui/FirmwareUpdateComponent.h"
#include "ui/TuneKnobCalibrationComponent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace
{
// Records the message boxes and questions instead of showing them (no display here).
struct RecordingFirmwareUpdateComponent : FirmwareUpdateComponent
{
    using FirmwareUpdateComponent::FirmwareUpdateComponent;

    juce::StringArray titles;
    std::unique_ptr<juce::ModalComponentManager::Callback> completionOk;
    std::function<void()> tryAgain;
    FirmwareSysexSender* sender = nullptr;

    void click() { buttonClicked (findChild<juce::Button> (*this, "Update Firmware Button")); }
    bool buttonEnabled() const { return findChild<juce::Button> (*this, "Update Firmware Button")->isEnabled(); }
    juce::String information() const { return findChild<juce::Label> (*this, "Update Information")->getText(); }
    void askToTryAgain (std::function<void()> onTryAgain) override
    {
        titles.add (notAcceptedTitle);
        tryAgain = std::move (onTryAgain);
    }
    void askToReinstall (std::function<void()> onReinstall) override
    {
        titles.add (reinstallTitle);
        onReinstall();
    }
    void showMessageBox (const juce::String& title, const juce::String& message,
                         juce::ModalComponentManager::Callback* callback) override
    {
        titles.add (callback != nullptr || title == timedOutTitle ? title : message); // a refusal: its reason
        completionOk.reset (callback);
    }
    void firmwareStatusChanged (FirmwareSysexSender* s, const juce::String& status) override
    {
        sender = s;
        FirmwareUpdateComponent::firmwareStatusChanged (s, status);
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
    // The machine answers; the engine weighs it on its next tick.
    void reply (juce::uint8 minor)
    {
        rig.replyVersion (0, minor > 0, 0, minor);
        rig.tick();
        UiTestRig::deliverPendingMessages();
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

TEST_F (FirmwareUpdateComponentTest, NoUpdateWhileACalibrationOrACheckRunsAndOnceTheKnobStepIsClosedItStarts)
{
    auto& c = open();
    c.tuningStarted();
    EXPECT_FALSE (c.buttonEnabled());
    c.tuningFailed();
    EXPECT_TRUE (c.buttonEnabled());

    // The knob step, the restore after its window closed and a tuning check:
    // refused with a word each, nothing sent.
    rig.startCalibration();
    c.click();
    TuneKnobCalibrationComponent knobStep (rig.engine);
    knobStep.windowClosing();
    EXPECT_FALSE (rig.engine->isCalibrating());
    c.click();
    rig.finishWrites();
    ASSERT_TRUE (rig.engine->startTuningCheck (nullptr));
    c.click();
    rig.engine->stopTuningCheck();
    EXPECT_EQ (updateRequestsSent(), 0);
    EXPECT_EQ (c.titles, juce::StringArray (FirmwareUpdateComponent::calibratingMessage, FirmwareUpdateComponent::writingMessage,
                                            FirmwareUpdateComponent::checkingMessage));

    // Nothing of the closed knob step holds the update back; once it runs,
    // the end of a calibration leaves the button disabled.
    c.titles.clear();
    c.click();
    EXPECT_EQ (c.titles, juce::StringArray (FirmwareUpdateComponent::reinstallTitle));   // the machine runs 1.05
    ASSERT_TRUE (rig.engine->isUpdatingFirmware());
    EXPECT_EQ (updateRequestsSent(), 1);
    c.tuningStarted();
    c.tuningStopped();
    EXPECT_FALSE (c.buttonEnabled());
}

// What the owner sees after the last slice, for each thing the machine shows.
TEST_F (FirmwareUpdateComponentTest, TheWaitShowsWhatItWaitsForAndEndsOnlyOnEvidence)
{
    struct Case
    {
        const char* name;
        juce::uint8 before;
        int secondsOfOldReplies;
        bool restart;
        juce::uint8 finally;
        juce::StringArray titles;
        juce::String information;
        bool enabled;
    };
    const Case cases[] {
        { "current machine, stream lost", 5, 60, false, 5, { FirmwareUpdateComponent::reinstallTitle },
          FirmwareUpdateComponent::sameVersionText(), true },
        { "Play pressed late", 4, 45, false, 5, { FirmwareUpdateComponent::completeTitle }, FirmwareUpdateComponent::completeText, false },
        { "boot loader after a reset", 4, 5, true, 0, { FirmwareUpdateComponent::notAcceptedTitle },
          FirmwareUpdateComponent::updateInformationText, true },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        reply (c.before);
        auto& w = open();
        w.click();
        ASSERT_NE (w.sender, nullptr);
        firmwaretest::streamImage (rig.clock, *rig.engine, *w.sender);
        ASSERT_TRUE (w.isWaitingForVerdict());
        EXPECT_FALSE (w.buttonEnabled());
        for (int s = 1; s <= c.secondsOfOldReplies; ++s)
        {
            rig.clock.advanceMs (1000);
            rig.replyVersion (0, 1, 0, c.before);
            rig.tick();
            w.timerCallback();   // the wait's display
        }
        UiTestRig::deliverPendingMessages();
        if (c.before < 5)
        {
            EXPECT_EQ (w.information(), FirmwareUpdateComponent::waitingText ((juce::uint32) c.secondsOfOldReplies * 1000));
            EXPECT_TRUE (w.information().startsWith (juce::CharPointer_UTF8 ("Press Play on the Kestrune\xe2\x80\xa6")));
        }
        if (c.restart)
        {
            rig.ports->unplugOutput (enginetest::portName);
            rig.midi->timerCallback();
            rig.tick();
            rig.ports->plugOutput (enginetest::portName);
            rig.midi->timerCallback();
        }
        reply (c.finally);
        EXPECT_EQ (w.titles, c.titles);
        EXPECT_EQ (w.information(), c.information);
        EXPECT_EQ (w.buttonEnabled(), c.enabled);
        EXPECT_EQ (rig.engine->isUpdatingFirmware(), c.finally == 5 && c.before == 5) << "only the undecided wait goes on";

        // The button does what the window offers: send again, or nothing more.
        rig.ports->clearSent();
        if (w.tryAgain)
            w.tryAgain();
        else
            w.click();
        EXPECT_EQ (updateRequestsSent(), c.enabled ? 1 : 0);
        EXPECT_EQ (w.isUpdateInProgress(), c.enabled);
        if (w.completionOk != nullptr)
        {
            // OK: the window goes (and in the application the component with it).
            juce::Component::SafePointer<juce::Component> watch (window.release());
            w.completionOk->modalStateFinished (1);
            EXPECT_EQ (watch.getComponent(), nullptr);
        }
        rig.engine->cancelFirmwareUpdate();
        closeWindow();
    }
}

// A Try Again refused by a tuning check says so, not something about outputs.
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

    // Not accepted: the boot loader answers; meanwhile a tuning check began.
    firmwaretest::streamImage (rig.clock, *rig.engine, *c.sender);
    reply (0);
    ASSERT_TRUE (c.tryAgain != nullptr);
    ASSERT_TRUE (rig.engine->startTuningCheck (nullptr));
    c.titles.clear();
    c.tryAgain();
    EXPECT_EQ (c.titles, juce::StringArray (FirmwareUpdateComponent::checkingMessage));
    EXPECT_TRUE (c.buttonEnabled());
    rig.engine->stopTuningCheck();
}

// Reports that arrive for a window already closed reach no other window.
TEST_F (FirmwareUpdateComponentTest, LateVersionsAndBoxesOfAClosedWindowLeaveTheNextWindowAlone)
{
    auto* first = &open();
    std::thread midiThread ([first] { first->firmwareVersionReceived (1.04); });
    midiThread.join();
    closeWindow();
    UiTestRig::deliverPendingMessages();
    auto& second = open();
    EXPECT_EQ (findChild<juce::Label> (second, "Curent Firmware Version")->getText(), "");

    reply (4);
    second.click();
    firmwaretest::streamImage (rig.clock, *rig.engine, *second.sender);
    reply (5);
    auto ok = std::move (second.completionOk);
    ASSERT_NE (ok, nullptr);
    closeWindow();
    auto& third = open();
    juce::Component::SafePointer<juce::Component> watch (window.get());
    ok->modalStateFinished (1);
    EXPECT_NE (watch.getComponent(), nullptr);
    EXPECT_TRUE (third.buttonEnabled());
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

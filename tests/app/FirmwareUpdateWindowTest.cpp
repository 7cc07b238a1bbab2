#include "app/FirmwareUpdateWindow.h"
#include "app/RecordingApplication.h"
#include "engine/EngineTestSupport.h"
#include "ui/ComponentTree.h"
#include "ui/FirmwareUpdateComponent.h"

#include <gtest/gtest.h>

namespace
{
// The real content; the completion box's OK is pressed by calling its callback.
struct RecordingContent : FirmwareUpdateComponent
{
    using FirmwareUpdateComponent::FirmwareUpdateComponent;

    void showMessageBox (const juce::String&, const juce::String&, juce::ModalComponentManager::Callback* cb) override
    {
        if (cb != nullptr)
            completionOk.reset (cb);
    }
    void firmwareStatusChanged (FirmwareSysexSender* s, const juce::String& status) override
    {
        sender = s;
        FirmwareUpdateComponent::firmwareStatusChanged (s, status);
    }

    std::unique_ptr<juce::ModalComponentManager::Callback> completionOk;
    FirmwareSysexSender* sender = nullptr;
};

// A window off the desktop whose close question stays up while the test
// lets the transfer finish and presses OK on the completion box, then answers OK.
struct OverlappingWindow : FirmwareUpdateWindow
{
    OverlappingWindow (TuneKestruneEngine::Ptr engine, enginetest::FakeRig& r)
        : FirmwareUpdateWindow (engine, std::make_unique<RecordingContent> (engine), false), rig (r)
    {
    }

    RecordingContent& content() { return *static_cast<RecordingContent*> (getFirmwareUpdateComponent()); }

    bool askToCloseDuringUpdate() override
    {
        auto& c = content();
        auto& testRig = rig;
        testRig.clock.advanceMs (8000);
        for (int i = 0; i < 5000 && testRig.engine->isUpdatingFirmware(); ++i)
        {
            testRig.clock.advanceMs (10);
            c.sender->timerCallback();
        }
        size_t bytes = 0;
        for (auto& m : testRig.ports->allSent())
            bytes += (size_t) m.getRawDataSize();
        EXPECT_GT (bytes, 100000u); // the whole image (about 110 kB) went out
        testRig.replyVersion (0, 1, 0, 5); // the completion box opens
        juce::MessageManager::getInstance()->runDispatchLoopUntil (20);
        // The user presses OK on the completion box: it closes the window,
        // this object included. Nothing of it is touched from here on.
        auto ok = std::move (c.completionOk);
        if (ok != nullptr)
            ok->modalStateFinished (1);
        return true;
    }

    enginetest::FakeRig& rig;
};

} // namespace

// The user closes the window (or quits) during a transfer; while the question
// is up, the transfer completes and OK on the completion box closes the window.
TEST (FirmwareUpdateWindow, TransferCompletingWhileTheCloseQuestionIsUpLeavesNothingDangling)
{
    for (const bool quit : { false, true })
    {
        SCOPED_TRACE (quit);
        enginetest::FakeRig rig;
        RecordingApplication app;
        app.tuneEngine = rig.engine;
        auto* window = new OverlappingWindow (rig.engine, rig);
        app.firmwareUpdateWindow = window;
        juce::Component::SafePointer<juce::Component> watch (window);
        window->content().buttonClicked (findChild<juce::Button> (window->content(), "Update Firmware Button"));
        ASSERT_TRUE (rig.engine->isUpdatingFirmware());

        if (quit)
            app.systemRequestedQuit();
        else
            window->closeButtonPressed();
        EXPECT_EQ (watch, nullptr);
        EXPECT_EQ (app.firmwareUpdateWindow.get(), nullptr);
        EXPECT_EQ (app.quits, quit ? 1 : 0);
        EXPECT_FALSE (rig.engine->isUpdatingFirmware());
        juce::MessageManager::getInstance()->runDispatchLoopUntil (20); // no deferred deletion of freed memory
    }
}

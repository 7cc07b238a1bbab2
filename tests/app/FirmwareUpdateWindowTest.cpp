#include "app/FirmwareUpdateWindow.h"
#include "support/ComponentTree.h"
#include "support/FakeRig.h"
#include "support/FirmwareStreaming.h"
#include "support/RecordingApplication.h"
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

// A window off the desktop whose close question runs `whileAsked` and answers with its result.
struct QuestionedWindow : FirmwareUpdateWindow
{
    explicit QuestionedWindow (TuneKestruneEngine::Ptr engine)
        : FirmwareUpdateWindow (engine, std::make_unique<RecordingContent> (engine), false)
    {
    }

    RecordingContent& content() { return *static_cast<RecordingContent*> (getFirmwareUpdateComponent()); }

    bool askToCloseDuringUpdate() override
    {
        ++questions;
        return whileAsked();
    }

    std::function<bool()> whileAsked;
    int questions = 0;
};

struct WindowRig
{
    WindowRig()
    {
        app.tuneEngine = rig.engine;
        app.firmwareUpdateWindow = window;
        rig.replyVersion (0, 1, 0, 4);
        window->content().buttonClicked (findChild<juce::Button> (window->content(), "Update Firmware Button"));
    }
    void closeOrQuit (bool quit) { quit ? app.systemRequestedQuit() : window->closeButtonPressed(); }

    enginetest::FakeRig rig;
    RecordingApplication app;
    QuestionedWindow* window = new QuestionedWindow (rig.engine);
    juce::Component::SafePointer<juce::Component> watch { window };
};
} // namespace

// The user closes the window (or quits) during a transfer; while the question
// is up, the machine shows the new firmware and OK on the completion box
// closes the window.
TEST (FirmwareUpdateWindow, TransferCompletingWhileTheCloseQuestionIsUpLeavesNothingDangling)
{
    for (const bool quit : { false, true })
    {
        SCOPED_TRACE (quit);
        WindowRig w;
        ASSERT_TRUE (w.rig.engine->isUpdatingFirmware());
        auto& rig = w.rig;
        auto& content = w.window->content();
        w.window->whileAsked = [&rig, &content] {
            firmwaretest::streamImage (rig.clock, *rig.engine, *content.sender);
            size_t bytes = 0;
            for (auto& m : rig.ports->allSent())
                bytes += (size_t) m.getRawDataSize();
            EXPECT_GE (bytes, (size_t) FirmwareTransfer::imageSize); // the whole image went out, beside a few requests
            rig.replyVersion (0, 1, 0, 5);
            rig.tick();   // the completion box opens
            // The user presses OK on the completion box: it closes the window,
            // this object included. Nothing of it is touched from here on.
            auto ok = std::move (content.completionOk);
            EXPECT_NE (ok, nullptr);
            if (ok != nullptr)
                ok->modalStateFinished (1);
            return true;
        };

        w.closeOrQuit (quit);
        EXPECT_EQ (w.watch, nullptr);
        EXPECT_EQ (w.app.firmwareUpdateWindow.get(), nullptr);
        EXPECT_EQ (w.app.quits, quit ? 1 : 0);
        EXPECT_FALSE (w.rig.engine->isUpdatingFirmware());
    }
}

// After the last slice, until the machine shows whether it took the image,
// closing or quitting asks; Cancel keeps waiting, OK ends the update.
TEST (FirmwareUpdateWindow, CloseAndQuitDuringTheWaitAskFirst)
{
    for (const bool quit : { false, true })
    {
        SCOPED_TRACE (quit);
        WindowRig w;
        firmwaretest::streamImage (w.rig.clock, *w.rig.engine, *w.window->content().sender);
        ASSERT_TRUE (w.rig.engine->isWaitingForFirmwareVerdict());

        w.window->whileAsked = [] { return false; };
        w.closeOrQuit (quit);
        EXPECT_EQ (w.window->questions, 1);
        ASSERT_NE (w.watch, nullptr);
        EXPECT_EQ (w.app.quits, 0);
        EXPECT_TRUE (w.rig.engine->isWaitingForFirmwareVerdict());

        w.window->whileAsked = [] { return true; };
        w.closeOrQuit (quit);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (20);   // the window's deferred deletion
        EXPECT_EQ (w.watch, nullptr);
        EXPECT_EQ (w.app.quits, quit ? 1 : 0);
        EXPECT_FALSE (w.rig.engine->isBusy());
    }
}

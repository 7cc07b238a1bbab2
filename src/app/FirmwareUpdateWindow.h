#pragma once

#include "tuning/TuneKestruneEngine.h"

#include <juce_gui_basics/juce_gui_basics.h>

class FirmwareUpdateComponent;

class FirmwareUpdateWindow : public juce::DocumentWindow
{
public:
    explicit FirmwareUpdateWindow (TuneKestruneEngine::Ptr engine);
    ~FirmwareUpdateWindow() override;

    // During an update asks before closing; otherwise closes at once.
    void closeButtonPressed() override;

    // The question asked before closing during an update; true when the window
    // may close (no update runs, or the user chose OK). The question is modal:
    // while it is up the transfer may complete and its box close this window,
    // so callers hold a safe reference across the call and check it afterwards.
    bool confirmClose();

    FirmwareUpdateComponent* getFirmwareUpdateComponent() const { return content.get(); }

protected:
    // For tests: a content of their own, and a window kept off the desktop.
    FirmwareUpdateWindow (TuneKestruneEngine::Ptr engine, std::unique_ptr<FirmwareUpdateComponent> content,
                          bool addToDesktop);

    // The modal OK/Cancel question; true on OK.
    virtual bool askToCloseDuringUpdate();

private:
    TuneKestruneEngine::Ptr tuneEngine;
    std::unique_ptr<FirmwareUpdateComponent> content;

    JUCE_DECLARE_WEAK_REFERENCEABLE (FirmwareUpdateWindow)
    JUCE_DECLARE_NON_COPYABLE (FirmwareUpdateWindow)
};

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
    // may close (no update runs, or the user chose OK).
    bool confirmClose();

    FirmwareUpdateComponent* getFirmwareUpdateComponent() const { return content.get(); }

private:
    TuneKestruneEngine::Ptr tuneEngine;
    std::unique_ptr<FirmwareUpdateComponent> content;

    JUCE_DECLARE_WEAK_REFERENCEABLE (FirmwareUpdateWindow)
    JUCE_DECLARE_NON_COPYABLE (FirmwareUpdateWindow)
};

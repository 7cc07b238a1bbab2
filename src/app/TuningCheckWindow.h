#pragma once

#include "ui/TuningCheckComponent.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The window of the tuning check. Closing it stops a check still running.
class TuningCheckWindow : public juce::DocumentWindow
{
public:
    // Takes the content, usually with its check already started.
    explicit TuningCheckWindow (std::unique_ptr<TuningCheckComponent> content);
    ~TuningCheckWindow() override;

    // Deletes the window, after the click that asked for it has been handled.
    void closeButtonPressed() override;

    TuningCheckComponent* getTuningCheckComponent() const { return content.get(); }

private:
    std::unique_ptr<TuningCheckComponent> content;

    JUCE_DECLARE_WEAK_REFERENCEABLE (TuningCheckWindow)
    JUCE_DECLARE_NON_COPYABLE (TuningCheckWindow)
};

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class AboutComponent;

// A borderless window showing the About picture; a click anywhere closes it.
class AboutWindow : public juce::ResizableWindow
{
public:
    explicit AboutWindow (const juce::Image& aboutImage);
    ~AboutWindow() override;

private:
    std::unique_ptr<AboutComponent> aboutComponent;

    JUCE_DECLARE_WEAK_REFERENCEABLE (AboutWindow)
    JUCE_DECLARE_NON_COPYABLE (AboutWindow)
};

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Stand-in until the About window is built.
class AboutWindow : public juce::ResizableWindow
{
public:
    explicit AboutWindow (const juce::Image& aboutImage);

private:
    JUCE_DECLARE_WEAK_REFERENCEABLE (AboutWindow)
};

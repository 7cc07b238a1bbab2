#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The About picture with the software version and the copyright notice. A
// click anywhere on it, labels included, closes the window that holds it.
class AboutComponent : public juce::Component
{
public:
    explicit AboutComponent (const juce::Image& aboutImage);
    ~AboutComponent() override;

    void mouseUp (const juce::MouseEvent& event) override;
    void paint (juce::Graphics&) override {}

    static juce::String getVersionText();

private:
    juce::ImageComponent aboutImage;
    juce::Label versionLabel;
    juce::Label copyrightLabel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AboutComponent)
};

#pragma once

#include <juce_graphics/juce_graphics.h>

// One page with every picture and its name, over a checkerboard so that
// transparency shows, for reviewing the artwork at a glance.
class ContactSheet
{
public:
    void add (const juce::String& name, const juce::Image& picture);
    juce::Image render() const;

private:
    juce::Array<juce::String> names;
    juce::Array<juce::Image> pictures;
};

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The windows' pictures come from the embedded resources; these are the two
// ways the window contents use them.
class EmbeddedPictures
{
public:
    // Decoded once, then kept by JUCE's image cache.
    static juce::Image load (const char* data, int size);

    // A picture button: the three states, drawn as they are, over nothing.
    static void setButtonImages (juce::ImageButton& button, const juce::Image& normal, const juce::Image& over,
                                 const juce::Image& down);
};

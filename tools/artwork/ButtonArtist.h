#pragma once

#include <juce_graphics/juce_graphics.h>

// Rounded hardware-style buttons with engraved capitals, in the three states
// an image button shows: normal, lighter under the mouse, darker when pressed.
class ButtonArtist
{
public:
    enum class State { normal, over, down };
    enum class Finish { grey, red };

    static juce::Image render (int width, int height, const juce::String& text,
                               State state, Finish finish);
};

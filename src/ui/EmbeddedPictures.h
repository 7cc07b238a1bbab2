#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The windows' pictures come from the embedded resources; these are the two
// ways the window contents use them.
class EmbeddedPictures
{
public:
    // Decoded once, then kept by JUCE's image cache while anyone holds it.
    static juce::Image load (const char* data, int size);

    // Every embedded picture, decoded through the cache. Whoever keeps them
    // spares each window's first opening the decoding on the message thread
    // (15 ms for a background in a Debug build); any thread may call it.
    static std::vector<juce::Image> decodeAll();

    // A picture button: the three states, drawn as they are, over nothing.
    static void setButtonImages (juce::ImageButton& button, const juce::Image& normal, const juce::Image& over,
                                 const juce::Image& down);
};

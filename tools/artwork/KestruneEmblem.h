#pragma once

#include <juce_graphics/juce_graphics.h>

// The product's marks: the kestrune's head emblem (a stylised bird-of-prey
// head in profile, beak to the left) and the logotype built from it.
class KestruneEmblem
{
public:
    // The head silhouette in a 120 x 89 design box, with its eye and cheek
    // stripe cut out (even-odd filled).
    static juce::Path headPath();

    // The head scaled to fit `area`, centred, keeping proportions.
    static juce::Path headPathIn (juce::Rectangle<float> area);

    // Emblem followed by the KESTRUNE wordmark, filling the height of `area`
    // from its left edge. Returns the width used.
    static float drawLogotype (juce::Graphics& g, juce::Rectangle<float> area, juce::Colour colour);
};

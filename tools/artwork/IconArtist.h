#pragma once

#include <juce_graphics/juce_graphics.h>

// The small pictures with real transparency: curved arrows, the head emblem,
// the meter LEDs, the progress frame and the application icon.
class IconArtist
{
public:
    static const juce::Colour lightGrey;   // unlit arrows, emblem, LED rings, frame
    static const juce::Colour signalRed;   // lit arrows and emblem

    // Counter-clockwise: arc bulging right, head at the top pointing left;
    // clockwise is its mirror image. 49 x 104.
    static juce::Image curvedArrow (bool clockwise, bool lit);

    // 120 x 89.
    static juce::Image head (bool lit);

    // 16 x 16: a ring, filled with a translucent colour unless `fill` is transparent.
    static juce::Image led (juce::Colour fill);

    // 408 x 32 rounded outline, transparent inside and out.
    static juce::Image progressFrame();

    // size x size: the red head on a dark rounded tile, for desktops and docks.
    static juce::Image applicationIcon (int size);
};

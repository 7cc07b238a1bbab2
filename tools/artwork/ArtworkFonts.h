#pragma once

#include <juce_graphics/juce_graphics.h>

// Typefaces of the artwork, loaded from fixed font files so that the pictures
// do not depend on which fonts the system would pick by name.
class ArtworkFonts
{
public:
    // False (with the missing file named in `problem`) when a font file is absent.
    static bool loadAll (juce::String& problem);
    static void releaseAll();

    static juce::Font logotype (float height);   // geometric, for the wordmark
    static juce::Font heading (float height);    // bold grotesque: titles, buttons
    static juce::Font panel (float height);      // condensed bold: printed panel legends

private:
    static juce::Typeface::Ptr& slot (int index);
};

#include "ArtworkFonts.h"

namespace
{
    const char* const fontFiles[] = {
        "/usr/share/fonts/opentype/urw-base35/URWGothic-Demi.otf",
        "/usr/share/fonts/opentype/urw-base35/NimbusSans-Bold.otf",
        "/usr/share/fonts/opentype/urw-base35/NimbusSansNarrow-Bold.otf",
    };

    juce::Font fontFrom (const juce::Typeface::Ptr& typeface, float height)
    {
        jassert (typeface != nullptr);
        return juce::Font (typeface).withHeight (height);
    }
}

juce::Typeface::Ptr& ArtworkFonts::slot (int index)
{
    static juce::Typeface::Ptr typefaces[3];
    return typefaces[index];
}

bool ArtworkFonts::loadAll (juce::String& problem)
{
    for (int i = 0; i < 3; ++i)
    {
        juce::MemoryBlock data;

        if (! juce::File (fontFiles[i]).loadFileAsData (data) || data.getSize() == 0)
        {
            problem = juce::String ("missing font file ") + fontFiles[i];
            return false;
        }

        slot (i) = juce::Typeface::createSystemTypefaceFor (data.getData(), data.getSize());

        if (slot (i) == nullptr)
        {
            problem = juce::String ("unreadable font file ") + fontFiles[i];
            return false;
        }
    }

    return true;
}

void ArtworkFonts::releaseAll()
{
    for (int i = 0; i < 3; ++i)
        slot (i) = nullptr;
}

juce::Font ArtworkFonts::logotype (float height) { return fontFrom (slot (0), height); }
juce::Font ArtworkFonts::heading (float height)  { return fontFrom (slot (1), height); }
juce::Font ArtworkFonts::panel (float height)    { return fontFrom (slot (2), height); }

#pragma once

#include "MachinePhotograph.h"

// The window backgrounds: each a darkened photograph of the machine from its
// own angle, with its red title (or the logotype) in the top band and darker
// fields where the windows put their white text.
class BackgroundArtist
{
public:
    BackgroundArtist();

    juce::Image mainBackground() const;          // 700 x 500
    juce::Image aboutBackground() const;         // 400 x 311
    juce::Image firmwareBackground() const;      // 400 x 311
    juce::Image knobBackground() const;          // 400 x 311
    juce::Image preferencesBackground() const;   // 400 x 500
    juce::Image checkBackground() const;         // 700 x 500

private:
    MachinePhotograph photograph;

    juce::Image shoot (int width, int height, const MachinePhotograph::Camera& camera, float exposure) const;
    static void darkenField (juce::Image& image, juce::Rectangle<float> field, float gain, float feather);
    static void drawTitleBand (juce::Image& image, const juce::String& title);
    static void drawLogoBand (juce::Image& image, float bandHeight, float logoHeight, bool centred);
    static void finish (juce::Image& image, juce::uint32 seed);
};

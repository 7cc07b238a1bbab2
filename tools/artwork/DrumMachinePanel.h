#pragma once

#include <juce_graphics/juce_graphics.h>

// The top panel of the Kestrune drum machine, drawn flat from above at high
// resolution: walnut end cheeks, brushed anodised plate, printed legends,
// voice sections with knobs, step pads with LEDs, display and transport.
// MachinePhotograph then looks at it through a camera.
class DrumMachinePanel
{
public:
    static constexpr int width = 2400;
    static constexpr int height = 1300;
    static constexpr int cheekWidth = 80;

    static juce::Image render();

    // Front and side faces of the case, sampled by the camera.
    static juce::Colour frontFaceColour (float x, float y01);
    static juce::Colour cheekSideColour (float z, float y01);

private:
    static void drawWoodCheeks (juce::Image& image);
    static void drawPlate (juce::Image& image);
    static void drawHeader (juce::Graphics& g);
    static void drawVoiceSections (juce::Graphics& g);
    static void drawSequencer (juce::Graphics& g);
    static void drawScrews (juce::Graphics& g);
    static void drawSevenSegment (juce::Graphics& g, juce::Rectangle<float> area, const juce::String& digits,
                                  juce::Colour lit);
    static void drawLed (juce::Graphics& g, juce::Point<float> centre, float radius, bool lit);
    static void drawRubberPad (juce::Graphics& g, juce::Rectangle<float> area, juce::Colour colour, float corner);
    static void drawLegend (juce::Graphics& g, const juce::String& text, juce::Point<float> centre, float height,
                            juce::Colour colour);
};

#pragma once

#include <juce_graphics/juce_graphics.h>

// A shaded rotary knob as seen from above, lit from the upper left: cast
// shadow, knurled skirt, machined cap and pointer line.
class KnobRenderer
{
public:
    struct Style
    {
        juce::Colour body { 0xff2a2b2e };
        juce::Colour cap { 0xff4a4c50 };
        juce::Colour pointer { 0xfff2efe6 };
        float shadowStrength = 0.75f;
    };

    // angle: radians from straight up, clockwise positive.
    static void draw (juce::Graphics& g, juce::Point<float> centre, float radius,
                      float angle, const Style& style);

    // The printed scale around a knob: tick marks over the given sweep.
    static void drawScale (juce::Graphics& g, juce::Point<float> centre, float innerRadius,
                           float outerRadius, float sweep, int ticks, juce::Colour colour,
                           float thickness);

    static juce::Point<float> pointOnCircle (juce::Point<float> centre, float radius, float angle);
};

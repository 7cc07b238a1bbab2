#pragma once

#include <juce_graphics/juce_graphics.h>

// The drawing of the Bass Synth section on the main window's background: the
// knob and switch settings the user copies before calibrating, and where the
// synth output cable goes.
class BassSynthPanelArtist
{
public:
    // Knob angles in radians from straight up, clockwise positive.
    static constexpr float almostClockwise = 2.15f;
    static constexpr float centred = 0.0f;
    static constexpr float almostCounterClockwise = -2.15f;

    static void draw (juce::Graphics& g, juce::Rectangle<float> area);

private:
    static void drawKnob (juce::Graphics& g, juce::Point<float> centre, const juce::String& label, float angle);
    static void drawWaveformSwitch (juce::Graphics& g, juce::Point<float> centre);
    static void drawOutputAndCable (juce::Graphics& g, juce::Point<float> jack, juce::Rectangle<float> area);
};

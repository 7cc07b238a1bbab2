#pragma once

#include <juce_graphics/juce_graphics.h>

// A "photograph" of the drum machine: the flat panel rendering placed as the
// top of a box on a desk and seen through a pinhole camera, with shallow depth
// of field, a spotlight, vignetting and grain. Units are panel pixels; the
// panel's top lies at height `caseHeight`, its back edge at z = 0 and its
// front edge at z = DrumMachinePanel::height.
class MachinePhotograph
{
public:
    struct Vec3
    {
        float x = 0, y = 0, z = 0;
    };

    struct Camera
    {
        Vec3 position, target;
        float roll = 0.0f;              // radians, clockwise
        float fieldOfView = 0.6f;       // horizontal, radians
        float aperture = 14.0f;         // depth-of-field strength
        Vec3 spotlight;                 // point on the panel the light is aimed at
        float spotRadius = 900.0f;
        float exposure = 1.0f;
    };

    static constexpr float caseHeight = 150.0f;

    MachinePhotograph (const juce::Image& panel);

    juce::Image shoot (int width, int height, const Camera& camera) const;

private:
    juce::Image panel;
};

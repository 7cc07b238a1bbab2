#pragma once

#include <juce_graphics/juce_graphics.h>
#include <functional>

// Pixel-level operations the vector renderer lacks: blurs, resampling, grain
// and light maps. Images are juce::Image::ARGB in the software renderer
// (premultiplied alpha); every operation is deterministic.
class PixelEffects
{
public:
    static juce::Image createCanvas (int width, int height);

    // Approximately Gaussian blur (three box passes), separately per axis.
    static void blur (juce::Image& image, int radiusX, int radiusY);

    // Box-filtered reduction by an integer factor.
    static juce::Image downsample (const juce::Image& source, int factor);

    // Bilinear sample (premultiplied) at a position in pixel coordinates,
    // where pixel (i, j) covers [i, i + 1) x [j, j + 1); beyond the edges the
    // border pixels repeat.
    static juce::PixelARGB sample (const juce::Image::BitmapData& data, float x, float y);

    // Monochrome film grain of +-amount levels, the same for every run.
    static void addGrain (juce::Image& image, juce::uint32 seed, float amount);

    // Multiplies red, green and blue by gain (x, y); alpha is kept.
    static void applyGain (juce::Image& image, const std::function<float (int, int)>& gain);

    // Linear blend of two equally sized images: result = a + (b - a) * weight (x, y).
    static juce::Image blend (const juce::Image& a, const juce::Image& b,
                              const std::function<float (int, int)>& weight);
};

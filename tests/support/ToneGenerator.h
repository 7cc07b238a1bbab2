#pragma once

#include <cstddef>
#include <vector>

// A sine, or a square wave of the same period, whose phase runs on from one
// block to the next as a sounding note's does.
class ToneGenerator
{
public:
    ToneGenerator (double frequency, double sampleRate, double amplitude = 0.5, bool square = false);

    float next();
    void fill (float* samples, int numSamples);
    std::vector<float> take (std::size_t numSamples);

private:
    double increment, amplitude;
    bool square;
    double phase = 0.0;   // in cycles, 0 to 1
};

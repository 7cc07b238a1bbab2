#pragma once
// Everything JUCE needs is in png.h.

#pragma once

#include "midi/DeviceMessages.h"

#include <juce_core/juce_core.h>

#include <array>

// The calibration the machine leaves the factory with: one value for each of
// the notes 24 to 63 of the bass voice, strictly falling (a larger value gives
// a lower pitch). The machine model keeps its own copy as its factory state.
class FactoryCalibration
{
public:
    static constexpr int firstNote = DeviceMessages::firstCalibratedNote;
    static constexpr int lastNote = DeviceMessages::lastCalibratedNote;
    static constexpr int numNotes = DeviceMessages::numCalibratedNotes;

    using Table = std::array<juce::uint16, (size_t) numNotes>;

    static const Table& values();

    // 0 for notes outside 24 to 63.
    static juce::uint16 valueForNote (int note);

    static bool isCalibratedNote (int note) { return note >= firstNote && note <= lastNote; }
};

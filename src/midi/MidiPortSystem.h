#pragma once

#include "MidiInputPort.h"
#include "MidiInputPortCallback.h"
#include "MidiOutputPort.h"

#include <memory>

// The system's MIDI ports, listed by name and opened by index into the most
// recent list. JUCE's ports, JACK's ports and test fakes implement it.
class MidiPortSystem
{
public:
    virtual ~MidiPortSystem() = default;

    virtual juce::StringArray getInputNames() = 0;
    virtual juce::StringArray getOutputNames() = 0;

    // Returns null when the port cannot be opened (for instance because it
    // vanished since it was listed).
    virtual std::unique_ptr<MidiInputPort> openInput (int index, MidiInputPortCallback* callback) = 0;
    virtual std::unique_ptr<MidiOutputPort> openOutput (int index) = 0;
};

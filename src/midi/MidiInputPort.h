#pragma once

#include <juce_core/juce_core.h>

// An open MIDI input, whichever system it comes from. Started inputs deliver
// complete messages to the MidiInputPortCallback they were opened with.
class MidiInputPort
{
public:
    virtual ~MidiInputPort() = default;

    virtual juce::String getName() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
};

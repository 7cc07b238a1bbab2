#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

class MidiInputPort;

// Receives what an open input delivers, on the input's own thread.
class MidiInputPortCallback
{
public:
    virtual ~MidiInputPortCallback() = default;

    virtual void handleIncomingMidiMessage (MidiInputPort* source, const juce::MidiMessage& message) = 0;

    // Fragments of an unfinished SysEx message; ignored unless overridden.
    virtual void handlePartialSysexMessage (MidiInputPort* /*source*/, const juce::uint8* /*data*/,
                                            int /*numBytes*/, double /*timestamp*/) {}
};

#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

// An open MIDI output. sendMessageNow hands the message's raw bytes to the
// port unchanged, including runs that are not complete MIDI messages, and
// never waits for the peer. It returns false when the bytes could not be
// handed over (the port is known to be gone); true says only that the port
// took them, since MIDI has no acknowledgement.
class MidiOutputPort
{
public:
    virtual ~MidiOutputPort() = default;

    virtual juce::String getName() const = 0;
    virtual bool sendMessageNow (const juce::MidiMessage& message) = 0;
    // False while the port is open but no longer reaches its destination: a
    // JACK connection is dropped when the peer's port goes away, and stays
    // gone when the port returns.
    virtual bool isConnected() { return true; }
    virtual void stopBackgroundThread() {}
};

#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

// An open MIDI output. sendMessageNow hands the message's raw bytes to the
// port unchanged, including runs that are not complete MIDI messages, and
// never waits for the peer.
class MidiOutputPort
{
public:
    virtual ~MidiOutputPort() = default;

    virtual juce::String getName() const = 0;
    virtual void sendMessageNow (const juce::MidiMessage& message) = 0;
    virtual void stopBackgroundThread() {}
};

#pragma once

#include "AlsaMessageSender.h"
#include "MidiOutputPort.h"

#include <memory>

// An output to one ALSA sequencer port (a USB Kestrune shows up as one) that
// hands on every byte it is given, SysEx split across messages included.
// JUCE's own ALSA output re-parses each message on its own and drops a SysEx
// slice that does not end in F7, so firmware slices never reached the device.
//
// Owns a sequencer client with one port, connected to the destination so
// that the kernel keeps the device's rawmidi port open while we send; events
// are addressed to the destination and delivered directly, unqueued.
class AlsaSequencerOutputPort : public MidiOutputPort
{
public:
    // Returns null when the sequencer cannot be opened or the destination
    // cannot be connected.
    static std::unique_ptr<AlsaSequencerOutputPort> open (const juce::String& name,
                                                          const juce::String& clientName,
                                                          int destinationClient,
                                                          int destinationPort);
    ~AlsaSequencerOutputPort() override;

    juce::String getName() const override { return name; }
    // False when alsa-lib refuses an event (the destination is gone, or its
    // buffer cannot take the bytes); the same message sent again goes on
    // from the event that was refused.
    bool sendMessageNow (const juce::MidiMessage& message) override;

private:
    AlsaSequencerOutputPort (snd_seq_t* handle, int ownPort, int destinationClient, int destinationPort, juce::String name);

    snd_seq_t* seq;
    int ownPort;
    int destinationClient;
    int destinationPort;
    juce::String name;
    AlsaMessageSender sender;

    JUCE_DECLARE_NON_COPYABLE (AlsaSequencerOutputPort)
};

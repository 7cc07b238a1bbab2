#pragma once

#include "MidiPortSystem.h"

#include <memory>
#include <mutex>

class JackMidiClient;

// MIDI ports of a running JACK server (JACK or PipeWire graphs). Never starts
// a server: without one it lists nothing, and it notices a server that appears
// or goes away. Other clients' MIDI outputs are listed as inputs and their MIDI
// inputs as outputs, named by the client when it has one port of that
// direction and "client: port" otherwise.
class JackMidiPortSystem : public MidiPortSystem
{
public:
    explicit JackMidiPortSystem (juce::String clientName = "Kestrune Tuning Utility MIDI");
    ~JackMidiPortSystem() override;

    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<MidiInputPort> openInput (int index, MidiInputPortCallback* callback) override;
    std::unique_ptr<MidiOutputPort> openOutput (int index) override;

    // True while a client is connected to a server.
    bool isConnected();

private:
    std::shared_ptr<JackMidiClient> getClient();

    juce::String clientName;
    std::mutex mutex;
    std::shared_ptr<JackMidiClient> client;
    juce::uint32 lastAttemptMs = 0;
    bool attempted = false;
};

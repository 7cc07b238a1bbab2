#pragma once

#include "midi/MidiPortSystem.h"

#include <map>
#include <mutex>
#include <vector>

// A MIDI port system whose device lists and traffic tests control directly.
// Ports can be plugged and unplugged; what is sent to an output is recorded
// under the output's name, and tests inject incoming messages by input name.
class FakeMidiPortSystem : public MidiPortSystem
{
public:
    void plugInput (const juce::String& name);
    void plugOutput (const juce::String& name);
    void unplugInput (const juce::String& name);   // removes every entry of that name
    void unplugOutput (const juce::String& name);

    // Delivers a message from every open, started input of that name.
    void injectMessage (const juce::String& inputName, const juce::MidiMessage& message);
    void injectPartialSysex (const juce::String& inputName, const juce::uint8* data, int numBytes);

    // Messages sent to outputs of that name, in order (each open port records).
    std::vector<juce::MidiMessage> sentTo (const juce::String& outputName) const;
    std::vector<juce::MidiMessage> allSent() const;
    void clearSent();

    int getNumOpenInputs() const;
    int getNumOpenOutputs() const;
    int getNumStartedInputs() const;
    int getNumListCalls() const { return listCalls; }
    int getNumOpenCalls() const { return openCalls; }

    // When set, openInput/openOutput return null.
    bool failOpens = false;
    // When set, open outputs refuse what they are sent (a full buffer).
    bool outputsRefuse = false;

    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<MidiInputPort> openInput (int index, MidiInputPortCallback* callback) override;
    std::unique_ptr<MidiOutputPort> openOutput (int index) override;

private:
    class Input;
    class Output;
    friend class Input;
    friend class Output;

    mutable std::recursive_mutex mutex;
    juce::StringArray inputs, outputs;
    std::vector<Input*> openIns;
    std::vector<Output*> openOuts;
    std::vector<std::pair<juce::String, juce::MidiMessage>> sent;
    int listCalls = 0;
    int openCalls = 0;
};

#pragma once

#include "midi/MidiPortSystem.h"

#include <mutex>
#include <vector>

// A MIDI port system whose device lists and traffic tests control directly.
// Ports can be plugged and unplugged; what is sent to an output is recorded
// under the output's name, and tests inject incoming messages by input name.
class FakeMidiPortSystem : public MidiPortSystem
{
public:
    void plugInput (const juce::String& name) { const Lock g (mutex); inputs.add (name); }
    void plugOutput (const juce::String& name) { const Lock g (mutex); outputs.add (name); }
    // Removes every entry of that name.
    void unplugInput (const juce::String& name) { const Lock g (mutex); inputs.removeString (name); }
    void unplugOutput (const juce::String& name) { const Lock g (mutex); outputs.removeString (name); }
    // The open outputs of that name stay open and listed but reach nothing
    // (a JACK connection dropped); outputs opened afterwards are connected.
    void dropConnections (const juce::String& outputName);

    // Delivers from every open, started input of that name that is still listed.
    void injectMessage (const juce::String& inputName, const juce::MidiMessage& message);
    void injectPartialSysex (const juce::String& inputName, const juce::uint8* data, int numBytes);

    // Messages sent to outputs of that name, in order (each open port records).
    std::vector<juce::MidiMessage> sentTo (const juce::String& outputName) const;
    std::vector<juce::MidiMessage> allSent() const { return sentTo ({}); }
    void clearSent() { const Lock g (mutex); sent.clear(); }

    int getNumOpenInputs() const { const Lock g (mutex); return (int) openIns.size(); }
    int getNumOpenOutputs() const { const Lock g (mutex); return (int) openOuts.size(); }
    int getNumStartedInputs() const;
    int getNumListCalls() const { return listCalls; }
    int getNumOpenCalls() const { return openCalls; }

    // When set, openInput/openOutput return null.
    bool failOpens = false;
    // When set, open outputs refuse what they are sent (a full buffer).
    bool outputsRefuse = false;

    juce::StringArray getInputNames() override { const Lock g (mutex); ++listCalls; return inputs; }
    juce::StringArray getOutputNames() override { const Lock g (mutex); ++listCalls; return outputs; }
    std::unique_ptr<MidiInputPort> openInput (int index, MidiInputPortCallback* callback) override;
    std::unique_ptr<MidiOutputPort> openOutput (int index) override;

private:
    template <typename Base> class Port;
    class Input;
    class Output;
    using Lock = std::lock_guard<std::recursive_mutex>;
    std::vector<Input*> listeningInputs (const juce::String& name) const;

    mutable std::recursive_mutex mutex;
    juce::StringArray inputs, outputs;
    std::vector<Input*> openIns;
    std::vector<Output*> openOuts;
    std::vector<std::pair<juce::String, juce::MidiMessage>> sent;
    int listCalls = 0;
    int openCalls = 0;
};

#pragma once

#include "midi/MidiPortSystem.h"
#include "sim/model/VirtualKestrune.h"

#include <memory>
#include <mutex>
#include <vector>

// A MIDI port system with one input and one output, both named "Kestrune Jack 1",
// behind which sits a VirtualKestrune: what is sent to the output reaches the
// machine, and the machine's replies come out of the input.
//
// Replies are delivered at once, inside sendMessageNow after the machine has
// taken the message, on the calling thread, in order, with no thread of its own.
class VirtualKestruneMidiPortSystem : public MidiPortSystem
{
public:
    static constexpr const char* defaultPortName = "Kestrune Jack 1";

    explicit VirtualKestruneMidiPortSystem (std::shared_ptr<VirtualKestrune> machine);
    ~VirtualKestruneMidiPortSystem() override;

    VirtualKestrune& getMachine() { return *machine; }

    // Unplugged, both ports vanish from the lists, open ports carry nothing
    // (sends are lost, replies are not delivered) and new opens fail.
    void setPlugged (bool shouldBePlugged);
    bool isPlugged() const;

    // Every message that reached the machine and every reply it sent, in order.
    std::vector<juce::MidiMessage> getReceivedByMachine() const;
    std::vector<juce::MidiMessage> getSentByMachine() const;

    juce::StringArray getInputNames() override;
    juce::StringArray getOutputNames() override;
    std::unique_ptr<MidiInputPort> openInput (int index, MidiInputPortCallback* callback) override;
    std::unique_ptr<MidiOutputPort> openOutput (int index) override;

private:
    class Input;
    class Output;

    void machineReceives (const juce::MidiMessage& message);
    void deliver (const std::vector<juce::MidiMessage>& replies);

    std::shared_ptr<VirtualKestrune> machine;

    mutable std::mutex mutex;   // never held while calling out
    bool plugged = true;
    std::vector<Input*> openInputs;
    std::vector<juce::MidiMessage> receivedByMachine, sentByMachine;
};

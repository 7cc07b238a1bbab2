#pragma once

#include "midi/MidiPortSystem.h"
#include "sim/model/VirtualKestrune.h"

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// A MIDI port system with one input and one output, both named "Kestrune Jack 1",
// behind which sits a VirtualKestrune: what is sent to the output reaches the
// machine, and the machine's replies come out of the input.
//
// Replies are delivered either at once, inside sendMessageNow after the machine
// has taken the message (synchronous), or when the test calls pump() (pumped).
// Either way on the calling thread, in order, with no thread of its own.
class VirtualKestruneMidiPortSystem : public MidiPortSystem
{
public:
    static constexpr const char* defaultPortName = "Kestrune Jack 1";

    enum class Delivery
    {
        synchronous,
        pumped
    };

    explicit VirtualKestruneMidiPortSystem (std::shared_ptr<VirtualKestrune> machine,
                                            Delivery delivery = Delivery::synchronous,
                                            const juce::String& portName = defaultPortName);
    ~VirtualKestruneMidiPortSystem() override;

    VirtualKestrune& getMachine() { return *machine; }

    // Unplugged, both ports vanish from the lists, open ports carry nothing
    // (sends are lost, replies are not delivered) and new opens fail.
    void setPlugged (bool shouldBePlugged);
    bool isPlugged() const;
    // The next n messages sent to the machine are lost on the way, as events
    // are when a JACK cycle is missed.
    void loseNextMessages (int n);

    // Lets the machine's time-outs fire, then delivers every queued reply.
    // Returns the number delivered.
    int pump();
    int getNumQueuedReplies() const;

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
    const Delivery delivery;
    const juce::String portName;

    mutable std::mutex mutex;   // never held while calling out
    bool plugged = true;
    int messagesToLose = 0;
    std::vector<Input*> openInputs;
    std::deque<juce::MidiMessage> queued;
    std::vector<juce::MidiMessage> receivedByMachine, sentByMachine;
};

#include "VirtualKestruneMidiPortSystem.h"

#include <algorithm>

class VirtualKestruneMidiPortSystem::Input : public MidiInputPort
{
public:
    Input (VirtualKestruneMidiPortSystem& s, MidiInputPortCallback* cb) : system (s), callback (cb)
    {
        std::lock_guard<std::mutex> g (system.mutex);
        system.openInputs.push_back (this);
    }

    ~Input() override
    {
        std::lock_guard<std::mutex> g (system.mutex);
        auto& inputs = system.openInputs;
        inputs.erase (std::remove (inputs.begin(), inputs.end(), this), inputs.end());
    }

    juce::String getName() const override { return defaultPortName; }
    void start() override { started = true; }
    void stop() override { started = false; }

    VirtualKestruneMidiPortSystem& system;
    MidiInputPortCallback* const callback;
    std::atomic<bool> started { false };
};

class VirtualKestruneMidiPortSystem::Output : public MidiOutputPort
{
public:
    explicit Output (VirtualKestruneMidiPortSystem& s) : system (s) {}

    juce::String getName() const override { return defaultPortName; }
    // Like a real port, it takes the message whether or not the cable is in.
    bool sendMessageNow (const juce::MidiMessage& message) override
    {
        system.machineReceives (message);
        return true;
    }

    VirtualKestruneMidiPortSystem& system;
};

VirtualKestruneMidiPortSystem::VirtualKestruneMidiPortSystem (std::shared_ptr<VirtualKestrune> machineToUse)
    : machine (std::move (machineToUse))
{
    jassert (machine != nullptr);
}

VirtualKestruneMidiPortSystem::~VirtualKestruneMidiPortSystem()
{
    // Ports must not outlive the system that carries them.
    jassert (openInputs.empty());
}

void VirtualKestruneMidiPortSystem::setPlugged (bool shouldBePlugged)
{
    std::lock_guard<std::mutex> g (mutex);
    plugged = shouldBePlugged;
}

bool VirtualKestruneMidiPortSystem::isPlugged() const
{
    std::lock_guard<std::mutex> g (mutex);
    return plugged;
}

void VirtualKestruneMidiPortSystem::machineReceives (const juce::MidiMessage& message)
{
    {
        std::lock_guard<std::mutex> g (mutex);
        if (! plugged)
            return;   // the cable is out: the message is lost
        receivedByMachine.push_back (message);
    }

    const auto replies = machine->receive (message);

    {
        std::lock_guard<std::mutex> g (mutex);
        sentByMachine.insert (sentByMachine.end(), replies.begin(), replies.end());
    }
    deliver (replies);
}

void VirtualKestruneMidiPortSystem::deliver (const std::vector<juce::MidiMessage>& replies)
{
    if (replies.empty())
        return;

    std::vector<Input*> targets;
    {
        std::lock_guard<std::mutex> g (mutex);
        if (! plugged)
            return;
        for (auto* input : openInputs)
            if (input->started)
                targets.push_back (input);
    }

    for (const auto& reply : replies)
        for (auto* input : targets)
            input->callback->handleIncomingMidiMessage (input, reply);
}

std::vector<juce::MidiMessage> VirtualKestruneMidiPortSystem::getReceivedByMachine() const
{
    std::lock_guard<std::mutex> g (mutex);
    return receivedByMachine;
}

std::vector<juce::MidiMessage> VirtualKestruneMidiPortSystem::getSentByMachine() const
{
    std::lock_guard<std::mutex> g (mutex);
    return sentByMachine;
}

juce::StringArray VirtualKestruneMidiPortSystem::getInputNames()
{
    std::lock_guard<std::mutex> g (mutex);
    return plugged ? juce::StringArray (defaultPortName) : juce::StringArray();
}

juce::StringArray VirtualKestruneMidiPortSystem::getOutputNames()
{
    return getInputNames();
}

std::unique_ptr<MidiInputPort> VirtualKestruneMidiPortSystem::openInput (int index, MidiInputPortCallback* callback)
{
    if (index != 0 || callback == nullptr || ! isPlugged())
        return nullptr;
    return std::make_unique<Input> (*this, callback);
}

std::unique_ptr<MidiOutputPort> VirtualKestruneMidiPortSystem::openOutput (int index)
{
    if (index != 0 || ! isPlugged())
        return nullptr;
    return std::make_unique<Output> (*this);
}

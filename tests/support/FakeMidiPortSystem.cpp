#include "FakeMidiPortSystem.h"

#include <algorithm>

class FakeMidiPortSystem::Input : public MidiInputPort
{
public:
    Input (FakeMidiPortSystem& s, juce::String n, MidiInputPortCallback* cb) : system (s), name (std::move (n)), callback (cb)
    {
        std::lock_guard<std::recursive_mutex> g (system.mutex);
        system.openIns.push_back (this);
    }
    ~Input() override
    {
        std::lock_guard<std::recursive_mutex> g (system.mutex);
        system.openIns.erase (std::remove (system.openIns.begin(), system.openIns.end(), this), system.openIns.end());
    }
    juce::String getName() const override { return name; }
    void start() override { started = true; }
    void stop() override { started = false; }

    FakeMidiPortSystem& system;
    juce::String name;
    MidiInputPortCallback* callback;
    bool started = false;
};

class FakeMidiPortSystem::Output : public MidiOutputPort
{
public:
    Output (FakeMidiPortSystem& s, juce::String n) : system (s), name (std::move (n))
    {
        std::lock_guard<std::recursive_mutex> g (system.mutex);
        system.openOuts.push_back (this);
    }
    ~Output() override
    {
        std::lock_guard<std::recursive_mutex> g (system.mutex);
        system.openOuts.erase (std::remove (system.openOuts.begin(), system.openOuts.end(), this), system.openOuts.end());
    }
    juce::String getName() const override { return name; }
    bool sendMessageNow (const juce::MidiMessage& message) override
    {
        std::lock_guard<std::recursive_mutex> g (system.mutex);
        if (system.outputsRefuse)
            return false;
        // A port whose device was unplugged delivers nothing, but takes the
        // message all the same, as the platforms' ports do.
        if (system.outputs.contains (name))
            system.sent.emplace_back (name, message);
        return true;
    }

    FakeMidiPortSystem& system;
    juce::String name;
};

void FakeMidiPortSystem::plugInput (const juce::String& name)
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    inputs.add (name);
}

void FakeMidiPortSystem::plugOutput (const juce::String& name)
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    outputs.add (name);
}

void FakeMidiPortSystem::unplugInput (const juce::String& name)
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    inputs.removeString (name);
}

void FakeMidiPortSystem::unplugOutput (const juce::String& name)
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    outputs.removeString (name);
}

void FakeMidiPortSystem::injectMessage (const juce::String& inputName, const juce::MidiMessage& message)
{
    std::vector<Input*> targets;
    {
        std::lock_guard<std::recursive_mutex> g (mutex);
        for (auto* in : openIns)
            if (in->name == inputName && in->started && inputs.contains (inputName))
                targets.push_back (in);
    }
    for (auto* in : targets)
        in->callback->handleIncomingMidiMessage (in, message);
}

void FakeMidiPortSystem::injectPartialSysex (const juce::String& inputName, const juce::uint8* data, int numBytes)
{
    std::vector<Input*> targets;
    {
        std::lock_guard<std::recursive_mutex> g (mutex);
        for (auto* in : openIns)
            if (in->name == inputName && in->started)
                targets.push_back (in);
    }
    for (auto* in : targets)
        in->callback->handlePartialSysexMessage (in, data, numBytes, 0.0);
}

std::vector<juce::MidiMessage> FakeMidiPortSystem::sentTo (const juce::String& outputName) const
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    std::vector<juce::MidiMessage> result;
    for (auto& [name, message] : sent)
        if (name == outputName)
            result.push_back (message);
    return result;
}

std::vector<juce::MidiMessage> FakeMidiPortSystem::allSent() const
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    std::vector<juce::MidiMessage> result;
    for (auto& entry : sent)
        result.push_back (entry.second);
    return result;
}

void FakeMidiPortSystem::clearSent()
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    sent.clear();
}

int FakeMidiPortSystem::getNumOpenInputs() const
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    return (int) openIns.size();
}

int FakeMidiPortSystem::getNumOpenOutputs() const
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    return (int) openOuts.size();
}

int FakeMidiPortSystem::getNumStartedInputs() const
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    return (int) std::count_if (openIns.begin(), openIns.end(), [] (Input* in) { return in->started; });
}

juce::StringArray FakeMidiPortSystem::getInputNames()
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    ++listCalls;
    return inputs;
}

juce::StringArray FakeMidiPortSystem::getOutputNames()
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    ++listCalls;
    return outputs;
}

std::unique_ptr<MidiInputPort> FakeMidiPortSystem::openInput (int index, MidiInputPortCallback* callback)
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    ++openCalls;
    if (failOpens || ! juce::isPositiveAndBelow (index, inputs.size()))
        return nullptr;
    return std::make_unique<Input> (*this, inputs[index], callback);
}

std::unique_ptr<MidiOutputPort> FakeMidiPortSystem::openOutput (int index)
{
    std::lock_guard<std::recursive_mutex> g (mutex);
    ++openCalls;
    if (failOpens || ! juce::isPositiveAndBelow (index, outputs.size()))
        return nullptr;
    return std::make_unique<Output> (*this, outputs[index]);
}

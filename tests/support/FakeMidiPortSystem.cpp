#include "FakeMidiPortSystem.h"

#include <algorithm>

// An open port, on its system's list while it lives.
template <typename Base>
class FakeMidiPortSystem::Port : public Base
{
public:
    Port (FakeMidiPortSystem& s, juce::String n) : system (s), name (std::move (n)) {}
    juce::String getName() const override { return name; }

    template <typename Self>
    static void track (std::vector<Self*>& open, Self* port, bool isOpen)
    {
        const Lock g (port->system.mutex);
        isOpen ? open.push_back (port) : (void) open.erase (std::find (open.begin(), open.end(), port));
    }

    FakeMidiPortSystem& system;
    const juce::String name;
};

class FakeMidiPortSystem::Input : public Port<MidiInputPort>
{
public:
    Input (FakeMidiPortSystem& s, juce::String n, MidiInputPortCallback* cb) : Port (s, std::move (n)), callback (cb) { track (system.openIns, this, true); }
    ~Input() override { track (system.openIns, this, false); }
    void start() override { started = true; }
    void stop() override { started = false; }

    MidiInputPortCallback* const callback;
    bool started = false;
};

class FakeMidiPortSystem::Output : public Port<MidiOutputPort>
{
public:
    Output (FakeMidiPortSystem& s, juce::String n) : Port (s, std::move (n)) { track (system.openOuts, this, true); }
    ~Output() override { track (system.openOuts, this, false); }
    bool sendMessageNow (const juce::MidiMessage& message) override
    {
        const Lock g (system.mutex);
        // A port whose device was unplugged delivers nothing, but takes the
        // message all the same, as the platforms' ports do.
        if (! system.outputsRefuse && system.outputs.contains (name) && connected)
            system.sent.emplace_back (name, message);
        return ! system.outputsRefuse;
    }
    bool isConnected() override { const Lock g (system.mutex); return connected; }

    bool connected = true;
};

void FakeMidiPortSystem::dropConnections (const juce::String& outputName)
{
    const Lock g (mutex);
    for (auto* out : openOuts)
        out->connected = out->connected && out->name != outputName;
}

// Delivered outside the lock, as a real input thread does.
std::vector<FakeMidiPortSystem::Input*> FakeMidiPortSystem::listeningInputs (const juce::String& name) const
{
    const Lock g (mutex);
    std::vector<Input*> result;
    std::copy_if (openIns.begin(), openIns.end(), std::back_inserter (result), [&] (Input* in) { return in->name == name && in->started && inputs.contains (name); });
    return result;
}

void FakeMidiPortSystem::injectMessage (const juce::String& inputName, const juce::MidiMessage& message)
{
    for (auto* in : listeningInputs (inputName))
        in->callback->handleIncomingMidiMessage (in, message);
}

void FakeMidiPortSystem::injectPartialSysex (const juce::String& inputName, const juce::uint8* data, int numBytes)
{
    for (auto* in : listeningInputs (inputName))
        in->callback->handlePartialSysexMessage (in, data, numBytes, 0.0);
}

// An empty name stands for every output.
std::vector<juce::MidiMessage> FakeMidiPortSystem::sentTo (const juce::String& outputName) const
{
    const Lock g (mutex);
    std::vector<juce::MidiMessage> result;
    for (auto& [name, message] : sent)
        if (outputName.isEmpty() || name == outputName)
            result.push_back (message);
    return result;
}

int FakeMidiPortSystem::getNumStartedInputs() const
{
    const Lock g (mutex);
    return (int) std::count_if (openIns.begin(), openIns.end(), [] (Input* in) { return in->started; });
}

std::unique_ptr<MidiInputPort> FakeMidiPortSystem::openInput (int index, MidiInputPortCallback* callback)
{
    const Lock g (mutex);
    ++openCalls;
    return failOpens || ! juce::isPositiveAndBelow (index, inputs.size()) ? nullptr : std::make_unique<Input> (*this, inputs[index], callback);
}

std::unique_ptr<MidiOutputPort> FakeMidiPortSystem::openOutput (int index)
{
    const Lock g (mutex);
    ++openCalls;
    return failOpens || ! juce::isPositiveAndBelow (index, outputs.size()) ? nullptr : std::make_unique<Output> (*this, outputs[index]);
}

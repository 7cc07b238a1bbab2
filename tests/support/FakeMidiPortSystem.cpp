#include "FakeMidiPortSystem.h"

class FakeMidiPortSystem::Input : public MidiInputPort
{
public:
    Input (FakeMidiPortSystem& s, juce::String n, MidiInputPortCallback* cb) : system (s), name (std::move (n)), callback (cb) { system.track (system.openIns, this, true); }
    ~Input() override { system.track (system.openIns, this, false); }
    juce::String getName() const override { return name; }
    void start() override { started = true; }
    void stop() override { started = false; }

    FakeMidiPortSystem& system;
    const juce::String name;
    MidiInputPortCallback* callback;
    bool started = false;
};

class FakeMidiPortSystem::Output : public MidiOutputPort
{
public:
    Output (FakeMidiPortSystem& s, juce::String n) : system (s), name (std::move (n)) { system.track (system.openOuts, this, true); }
    ~Output() override { system.track (system.openOuts, this, false); }
    juce::String getName() const override { return name; }
    bool sendMessageNow (const juce::MidiMessage& message) override
    {
        const Lock g (system.mutex);
        // A port whose device was unplugged delivers nothing, but takes the
        // message all the same, as the platforms' ports do.
        if (! system.outputsRefuse && system.outputs.contains (name))
            system.sent.emplace_back (name, message);
        return ! system.outputsRefuse;
    }

    FakeMidiPortSystem& system;
    const juce::String name;
};

template <typename Deliver>
void FakeMidiPortSystem::deliver (const juce::String& inputName, Deliver&& toCallback)
{
    std::vector<Input*> targets;
    {
        const Lock g (mutex);
        for (auto* in : openIns)
            if (in->name == inputName && in->started && inputs.contains (inputName))
                targets.push_back (in);
    }
    // Outside the lock, as a real input thread delivers.
    for (auto* in : targets)
        toCallback (*in);
}

void FakeMidiPortSystem::injectMessage (const juce::String& inputName, const juce::MidiMessage& message)
{
    deliver (inputName, [&] (Input& in) { in.callback->handleIncomingMidiMessage (&in, message); });
}

void FakeMidiPortSystem::injectPartialSysex (const juce::String& inputName, const juce::uint8* data, int numBytes)
{
    deliver (inputName, [&] (Input& in) { in.callback->handlePartialSysexMessage (&in, data, numBytes, 0.0); });
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

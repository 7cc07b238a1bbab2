#include "JuceMidiPortSystem.h"

#include <juce_audio_devices/juce_audio_devices.h>

#if JUCE_LINUX
 #include "AlsaSequencerOutputPort.h"
#endif

namespace
{
#if JUCE_LINUX
// The sequencer client our ALSA outputs show up as, beside JUCE's own.
constexpr const char* alsaClientName = "Kestrune Tuning Utility";
#endif

juce::StringArray namesOf (const juce::Array<juce::MidiDeviceInfo>& devices)
{
    juce::StringArray names;
    for (const auto& device : devices)
        names.add (device.name);
    return names;
}

class JuceInputPort final : public MidiInputPort, private juce::MidiInputCallback
{
public:
    JuceInputPort (const juce::String& identifier, MidiInputPortCallback* cb) : callback (cb)
    {
        input = juce::MidiInput::openDevice (identifier, this);
    }

    bool isOpen() const { return input != nullptr; }

    juce::String getName() const override { return input->getName(); }
    void start() override { input->start(); }
    void stop() override { input->stop(); }

private:
    void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& message) override
    {
        callback->handleIncomingMidiMessage (this, message);
    }

    void handlePartialSysexMessage (juce::MidiInput*, const juce::uint8* data, int numBytes, double timestamp) override
    {
        callback->handlePartialSysexMessage (this, data, numBytes, timestamp);
    }

    MidiInputPortCallback* callback;
    std::unique_ptr<juce::MidiInput> input;
};

#if ! JUCE_LINUX
class JuceOutputPort final : public MidiOutputPort
{
public:
    explicit JuceOutputPort (std::unique_ptr<juce::MidiOutput> o) : output (std::move (o)) {}

    juce::String getName() const override { return output->getName(); }
    bool sendMessageNow (const juce::MidiMessage& message) override
    {
        output->sendMessageNow (message);
        return true;
    }
    void stopBackgroundThread() override { output->stopBackgroundThread(); }

private:
    std::unique_ptr<juce::MidiOutput> output;
};
#endif
} // namespace

juce::StringArray JuceMidiPortSystem::getInputNames()
{
    return namesOf (juce::MidiInput::getAvailableDevices());
}

juce::StringArray JuceMidiPortSystem::getOutputNames()
{
    return namesOf (juce::MidiOutput::getAvailableDevices());
}

std::unique_ptr<MidiInputPort> JuceMidiPortSystem::openInput (int index, MidiInputPortCallback* callback)
{
    const auto devices = juce::MidiInput::getAvailableDevices();
    if (! juce::isPositiveAndBelow (index, devices.size()))
        return nullptr;
    auto port = std::make_unique<JuceInputPort> (devices[index].identifier, callback);
    if (! port->isOpen())
        return nullptr;
    return port;
}

std::unique_ptr<MidiOutputPort> JuceMidiPortSystem::openOutput (int index)
{
    const auto devices = juce::MidiOutput::getAvailableDevices();
    if (! juce::isPositiveAndBelow (index, devices.size()))
        return nullptr;
#if JUCE_LINUX
    // JUCE names an ALSA port "client-port". Its own output would drop every
    // firmware slice that does not end a SysEx.
    const auto& identifier = devices[index].identifier;
    if (! identifier.containsChar ('-'))
        return nullptr;
    return AlsaSequencerOutputPort::open (devices[index].name, alsaClientName,
                                          identifier.upToFirstOccurrenceOf ("-", false, false).getIntValue(),
                                          identifier.fromFirstOccurrenceOf ("-", false, false).getIntValue());
#else
    auto output = juce::MidiOutput::openDevice (devices[index].identifier);
    if (output == nullptr)
        return nullptr;
    return std::make_unique<JuceOutputPort> (std::move (output));
#endif
}

#pragma once

#include "MidiInputPortCallback.h"
#include "MidiPortSystem.h"
#include "core/MillisecondClock.h"

#include <juce_events/juce_events.h>

#include <map>
#include <memory>

// The single owner of every open MIDI port: opens and closes ports by name,
// sends to them, hands incoming messages to its listeners, and closes,
// reports and silently reopens ports that vanish from the system's lists.
class MidiManager : public MidiInputPortCallback,
                    public juce::ReferenceCountedObject,
                    private juce::Timer
{
public:
    using Ptr = juce::ReferenceCountedObjectPtr<MidiManager>;

    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void midiMessageReceived (MidiInputPort* source, const juce::MidiMessage& message) = 0;
        virtual void midiInputDeviceRemoved (const juce::String& deviceName) = 0;
        virtual void midiOutputDeviceRemoved (const juce::String& deviceName) = 0;
    };

    // The default port system lists JUCE's ports and JACK's ports together.
    MidiManager();
    explicit MidiManager (std::shared_ptr<MidiPortSystem> portSystem,
                          MillisecondClock& clock = MillisecondClock::system());
    ~MidiManager() override;

    void openInputDevice (const juce::String& name);
    void openOutputDevice (const juce::String& name);
    void closeAllInputDevices();
    void closeAllOutputDevices();

    bool isInputDeviceAvailable (const juce::String& name);
    bool isOutputDeviceAvailable (const juce::String& name);
    bool isOutputDeviceOpen (const juce::String& name) const;

    juce::StringArray getOpenInputDeviceNames() const;
    juce::StringArray getOpenOutputDeviceNames() const;
    int getNumOpenOutputDevices() const;

    // The system's lists, as the Preferences window shows them.
    juce::StringArray getAvailableInputDeviceNames();
    juce::StringArray getAvailableOutputDeviceNames();

    // Both return how many open ports took the message: 0 when none is open,
    // or every one of them is gone (also one the poll is reporting as removed).
    int sendMessageToAllOutputs (const juce::MidiMessage& message);
    int sendMessageToOutput (const juce::String& name, const juce::MidiMessage& message);

    void addListener (Listener* listener);
    // A listener must leave before it is destroyed: the manager may outlive it.
    // Waits for a message being delivered on another thread to finish.
    void removeListener (Listener* listener);

    void handleIncomingMidiMessage (MidiInputPort* source, const juce::MidiMessage& message) override;

    // The 50 ms device poll; public so that tests can step it. It never
    // waits: a port that is listed again but refuses to open is tried again
    // on later polls, less and less often.
    void timerCallback() override;

    static constexpr juce::uint32 firstRetryDelayMs = 100;
    static constexpr juce::uint32 longestRetryDelayMs = 1600;

private:
    struct OpenMidiOutput
    {
        juce::String name;
        std::unique_ptr<MidiOutputPort> output;
        // Gone from the system's list; listeners are being told, and nothing
        // sent now could reach the device.
        bool vanished = false;
    };

    bool isInputDeviceOpen (const juce::String& name) const;
    static bool reaches (OpenMidiOutput& entry);
    void openInputDeviceNow (const juce::String& name);
    // Reopens a missing port when it is listed and its back-off has passed.
    template <typename Open, typename IsOpen>
    void reopenIfDue (juce::StringArray& missing, const juce::StringArray& listed, const juce::String& name,
                      Open open, IsOpen isOpen);
    void closeInputDevice (const juce::String& name);
    void closeOutputDevice (const juce::String& name);

    std::shared_ptr<MidiPortSystem> portSystem;
    MillisecondClock& clock;
    juce::StringArray missingInputNames;
    juce::StringArray missingOutputNames;
    struct Retry
    {
        juce::uint32 notBeforeMs = 0;
        juce::uint32 delayMs = 0;
    };
    // Missing ports whose reopening failed, by direction and name.
    std::map<juce::String, Retry> retries;
    std::vector<std::unique_ptr<MidiInputPort>> openInputs;
    std::vector<OpenMidiOutput> openOutputs;
    juce::ListenerList<Listener, juce::Array<Listener*, juce::CriticalSection>> listeners;
    juce::CriticalSection lock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiManager)
};

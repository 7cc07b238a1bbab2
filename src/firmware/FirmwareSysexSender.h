#pragma once

#include "core/MillisecondClock.h"
#include "firmware/FirmwareSysexData.h"
#include "midi/MidiManager.h"

#include <juce_events/juce_events.h>

// Streams a FirmwareSysexData to one MIDI output: the header message, a wait
// for the device to get ready, then one slice per timer tick.
class FirmwareSysexSender : public juce::Timer
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void firmwareProgressChanged (FirmwareSysexSender* sender, double progress) = 0;
        virtual void firmwareStatusChanged (FirmwareSysexSender* sender, const juce::String& status) = 0;
    };

    static constexpr const char* statusStarted = "Started";
    static constexpr const char* statusWaitingForDevice = "Waiting For Device";
    static constexpr const char* statusDeviceOffline = "Device Offline";
    static constexpr const char* statusCompleted = "Completed";

    // How long the device needs after the header before it takes slices.
    static constexpr juce::uint32 deviceWaitMs = 8000;

    // The data is not owned and must outlive the sender. The listener may be null.
    FirmwareSysexSender (FirmwareSysexData& data,
                         MidiManager::Ptr midiManager,
                         Listener* listener,
                         MillisecondClock& clock = MillisecondClock::system());
    ~FirmwareSysexSender() override;

    void addListener (Listener* listener);
    void removeListener (Listener* listener);

    void start();
    void stop();

    // One step of the transfer; public so that tests can step it.
    void timerCallback() override;

    juce::uint32 getNextPacket() const { return nextPacket; }
    bool isWaitingForDevice() const { return waitingForDevice; }

private:
    // True when an open port took the request.
    bool sendHeader();
    void reportProgress (double progress);
    void reportStatus (const juce::String& status);

    juce::ListenerList<Listener> listeners;
    FirmwareSysexData* data;
    MidiManager::Ptr midiManager;
    MillisecondClock& clock;
    juce::uint32 nextPacket = 0;
    bool waitingForDevice = false;
    // The request of the current wait reached the machine's port.
    bool headerSent = false;
    juce::uint32 waitStartMs = 0;
    bool sliceSent = false;
    juce::uint32 lastSliceMs = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FirmwareSysexSender)
};

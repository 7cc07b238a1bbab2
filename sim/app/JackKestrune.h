#pragma once

#include "sim/control/EventLog.h"
#include "sim/control/MidiGarbage.h"
#include "sim/model/VirtualKestrune.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <vector>

// The virtual Kestrune as a JACK client: MIDI ports midi_in and midi_out and
// the audio output synth_out, which it connects to every audio input of the
// utility's client as soon as one appears.
//
// The process callback only moves bytes between JACK's buffers and two
// lock-free ring buffers and renders the voice; service(), on a normal thread,
// hands received bytes to the machine and queues its replies, and the noise
// of a bad MIDI line when asked to.
class JackKestrune
{
public:
    JackKestrune (VirtualKestrune& machine, EventLog& log, juce::String clientName, juce::String connectToClient);
    ~JackKestrune();

    // Opens the client and its ports: the machine is plugged in. Without
    // acceptConnections the client stays inactive: its ports are listed but
    // JACK refuses to connect them, as a device that enumerates before it is
    // ready; a later plug activates it.
    bool plug (juce::String& errorMessage, bool acceptConnections = true);
    // Closes the client: all its ports vanish.
    void unplug();
    bool isPlugged() const { return client != nullptr; }

    // The audio cable: synth_out loses every connection, or connects to the
    // utility's first input again. The MIDI ports stay.
    void unplugAudio();
    void replugAudio();

    // Noise on midi_out at this many bytes a second besides the replies, which
    // then carry real-time bytes inside; 0 stops it.
    void setGarbageRate (int bytesPerSecond);

    // Called often (every millisecond or so) from the control thread.
    void service();

    bool hasServerGone() const { return serverGone.load(); }

private:
    static int processCallback (jack_nframes_t frames, void* arg);
    static void portRegistrationCallback (jack_port_id_t, int registered, void* arg);
    static int sampleRateCallback (jack_nframes_t rate, void* arg);
    static void shutdownCallback (void* arg);
    int process (jack_nframes_t frames);
    void connectSynthOut();
    bool activate (juce::String& errorMessage);

    static constexpr size_t ringBytes = 1 << 18;
    static constexpr size_t maxEventBytes = 256;
    // Marks a record of the outgoing ring as noise rather than a reply.
    static constexpr juce::uint32 garbageRecord = 0x80000000u;

    bool queueOutgoing (const std::vector<juce::uint8>& bytes, bool isGarbage);
    void queueGarbage();

    VirtualKestrune& machine;
    EventLog& log;
    const juce::String clientName, connectToClient;

    jack_client_t* client = nullptr;
    jack_port_t* midiIn = nullptr;
    jack_port_t* midiOut = nullptr;
    jack_port_t* synthOut = nullptr;
    jack_ringbuffer_t* incoming = nullptr;   // process -> control: [uint32 size][uint32 frame][bytes]
    jack_ringbuffer_t* outgoing = nullptr;   // control -> process: [uint32 size][bytes]

    std::atomic<double> sampleRate { 48000.0 };
    std::atomic<bool> portsChanged { false };
    std::atomic<bool> serverGone { false };
    std::atomic<juce::uint32> droppedIncoming { 0 };
    juce::uint32 droppedReported = 0;
    bool audioUnplugged = false;
    bool active = false;

    MidiGarbage garbage;
    int garbageRate = 0;
    double garbageBudget = 0.0, garbageClockMs = 0.0;
    std::atomic<juce::uint64> garbageBytesSent { 0 }, garbageEventsSent { 0 };
    std::vector<juce::uint8> eventBuffer = std::vector<juce::uint8> (65536);   // control thread
};

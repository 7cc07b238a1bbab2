#pragma once

#include "JackMidiOutputQueue.h"
#include "MidiEventFifo.h"
#include "MidiInputPort.h"
#include "MidiInputPortCallback.h"
#include "MidiOutputPort.h"
#include "MidiStreamParser.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <semaphore.h>

// One JACK client with a pool of local MIDI ports. The process callback only
// moves bytes between JACK's buffers and lock-free FIFOs; a normal thread turns
// received bytes into complete messages and hands them to the input callbacks,
// and retires closed outputs once they have drained. Outgoing messages keep
// the spacing at which they were sent, one period late.
class JackMidiClient : public std::enable_shared_from_this<JackMidiClient>
{
public:
    // Returns null when no server is running; never starts one.
    static std::shared_ptr<JackMidiClient> connect (const juce::String& clientName);
    ~JackMidiClient();

    bool isAlive() const { return ! serverGone.load(); }

    struct RemotePort
    {
        juce::String displayName;
        juce::String fullName;
    };
    // Remote MIDI ports that feed our inputs (their outputs), or that our
    // outputs feed (their inputs).
    std::vector<RemotePort> listSources();
    std::vector<RemotePort> listDestinations();
    // Names what JACK lists (null-terminated, full names) for the owner, in
    // its order and leaving out ports of the client `ownName`: a client with
    // one port by the client's name, one with several as "client: port".
    static std::vector<RemotePort> nameRemotePorts (const char* const* ports, const juce::String& ownName);

    std::unique_ptr<MidiInputPort> openInput (const RemotePort& source, MidiInputPortCallback* callback);
    std::unique_ptr<MidiOutputPort> openOutput (const RemotePort& destination);

private:
    static constexpr int maxPorts = 16;
    static constexpr int fifoBytes = 1 << 18;

    struct InputSlot
    {
        jack_port_t* port = nullptr;
        std::atomic<bool> inUse { false };
        std::atomic<bool> active { false };
        juce::String remoteName;
        MidiEventFifo events { fifoBytes };
        // The callback and the port handed to it; guarded so that stop()
        // never returns while a message is being delivered.
        std::mutex deliveryMutex;
        MidiInputPortCallback* callback = nullptr;
        MidiInputPort* owner = nullptr;
        MidiStreamParser parser;
    };

    struct OutputSlot
    {
        jack_port_t* port = nullptr;
        juce::String remoteName;   // guarded by openMutex
        JackMidiOutputQueue queue { fifoBytes };
        // Asking the server whether the connection stands waits out any
        // pending graph change, up to a period: it is asked only after JACK
        // reported a connection of this port gone.
        std::atomic<bool> connectionLost { false };
        bool connected = false;    // guarded by openMutex
    };

    class InputPort;
    class OutputPort;

    JackMidiClient (jack_client_t* client, juce::String name);
    std::vector<RemotePort> listRemote (unsigned long flags);
    jack_port_t* registerPort (int index, bool isInput);
    InputSlot* claimInput();
    OutputSlot* claimOutput (const RemotePort& destination, bool& alreadyConnected);
    void releaseInput (InputSlot& slot);
    void releaseOutput (OutputSlot& slot);
    bool send (OutputSlot& slot, const juce::uint8* data, int size);
    bool isConnected (OutputSlot& slot);
    // Disconnects and frees closed outputs that have drained; true while one
    // is still on its way.
    bool retireClosedOutputs();
    bool isAnyOutputDraining() const;

    static int processCallback (jack_nframes_t frames, void* arg);
    static void shutdownCallback (void* arg);
    static void portConnectCallback (jack_port_id_t a, jack_port_id_t b, int connect, void* arg);
    int process (jack_nframes_t frames);
    void readerLoop();
    void deliver (InputSlot& slot, const juce::uint8* event, int size);

    jack_client_t* client = nullptr;
    juce::String ownName;
    std::array<InputSlot, maxPorts> inputs;
    std::array<OutputSlot, maxPorts> outputs;
    std::atomic<int> numInputs { 0 };
    std::atomic<int> numOutputs { 0 };
    std::atomic<bool> serverGone { false };
    std::atomic<bool> quitReader { false };
    std::mutex openMutex;
    std::mutex sendMutex;
    sem_t wakeReader;
    std::thread reader;
};

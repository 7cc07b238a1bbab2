#include "JackMidiClient.h"

#include <chrono>
#include <ctime>
#include <map>

namespace
{
// How often the reader looks at closed outputs while one is draining: a few
// times per period.
constexpr int drainPollMs = 2;

void silentJackMessage (const char*) {}
} // namespace

//==============================================================================
class JackMidiClient::InputPort final : public MidiInputPort
{
public:
    InputPort (std::shared_ptr<JackMidiClient> c, InputSlot& s, juce::String n) : client (std::move (c)), slot (s), name (std::move (n)) {}
    ~InputPort() override { client->releaseInput (slot); }

    juce::String getName() const override { return name; }
    void start() override { slot.active = true; }
    void stop() override
    {
        slot.active = false;
        // Wait for a delivery in progress to finish.
        const std::lock_guard<std::mutex> g (slot.deliveryMutex);
    }

private:
    std::shared_ptr<JackMidiClient> client;
    InputSlot& slot;
    juce::String name;
};

class JackMidiClient::OutputPort final : public MidiOutputPort
{
public:
    OutputPort (std::shared_ptr<JackMidiClient> c, OutputSlot& s, juce::String n) : client (std::move (c)), slot (s), name (std::move (n)) {}
    ~OutputPort() override { client->releaseOutput (slot); }

    juce::String getName() const override { return name; }
    bool sendMessageNow (const juce::MidiMessage& message) override
    {
        return client->send (slot, message.getRawData(), message.getRawDataSize());
    }
    bool isConnected() override { return client->isConnected (slot); }

private:
    std::shared_ptr<JackMidiClient> client;
    OutputSlot& slot;
    juce::String name;
};

//==============================================================================
std::shared_ptr<JackMidiClient> JackMidiClient::connect (const juce::String& clientName)
{
    jack_set_error_function (silentJackMessage);
    jack_set_info_function (silentJackMessage);

    jack_status_t status {};
    auto* handle = jack_client_open (clientName.toRawUTF8(), JackNoStartServer, &status);
    if (handle == nullptr)
        return nullptr;

    std::shared_ptr<JackMidiClient> result (new JackMidiClient (handle, juce::String::fromUTF8 (jack_get_client_name (handle))));
    jack_set_process_callback (handle, processCallback, result.get());
    jack_on_shutdown (handle, shutdownCallback, result.get());
    jack_set_port_connect_callback (handle, portConnectCallback, result.get());
    if (jack_activate (handle) != 0)
        return nullptr;
    return result;
}

JackMidiClient::JackMidiClient (jack_client_t* c, juce::String name) : client (c), ownName (std::move (name))
{
    sem_init (&wakeReader, 0, 0);
    reader = std::thread ([this] { readerLoop(); });
}

JackMidiClient::~JackMidiClient()
{
    // What was sent last before the ports closed (the note-offs at quit) must
    // still reach the peer: the closed outputs get a bounded time to drain.
    // This is shut-down, not the closing of a port under someone's lock.
    const auto deadline = juce::Time::getMillisecondCounter() + JackMidiOutputQueue::drainBoundMs;
    while (! serverGone && isAnyOutputDraining() && juce::Time::getMillisecondCounter() < deadline)
        std::this_thread::sleep_for (std::chrono::milliseconds (1));

    quitReader = true;
    sem_post (&wakeReader);
    reader.join();
    // A client whose server went away belongs to the JACK library: the next
    // client this process opens frees it (also one JUCE's audio device opens),
    // and closing it here as well would free it twice.
    if (! serverGone)
    {
        jack_deactivate (client);
        jack_client_close (client);
    }
    sem_destroy (&wakeReader);
}

std::vector<JackMidiClient::RemotePort> JackMidiClient::listSources()
{
    return listRemote (JackPortIsOutput);
}

std::vector<JackMidiClient::RemotePort> JackMidiClient::listDestinations()
{
    return listRemote (JackPortIsInput);
}

std::vector<JackMidiClient::RemotePort> JackMidiClient::listRemote (unsigned long flags)
{
    std::vector<RemotePort> result;
    if (serverGone)
        return result;

    const char** ports = jack_get_ports (client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    if (ports == nullptr)
        return result;
    result = nameRemotePorts (ports, ownName);
    jack_free (ports);
    return result;
}

std::vector<JackMidiClient::RemotePort> JackMidiClient::nameRemotePorts (const char* const* ports, const juce::String& ownName)
{
    std::vector<std::pair<juce::String, juce::String>> found; // client, full name
    std::map<juce::String, int> perClient;
    const auto ownPrefix = ownName + ":";
    for (int i = 0; ports[i] != nullptr; ++i)
    {
        const auto full = juce::String::fromUTF8 (ports[i]);
        if (full.startsWith (ownPrefix))
            continue;
        const auto clientPart = full.upToFirstOccurrenceOf (":", false, false);
        found.emplace_back (clientPart, full);
        ++perClient[clientPart];
    }

    std::vector<RemotePort> result;
    for (auto& [clientPart, full] : found)
    {
        const auto display = perClient[clientPart] == 1 ? clientPart
                                                         : clientPart + ": " + full.fromFirstOccurrenceOf (":", false, false);
        result.push_back ({ display, full });
    }
    return result;
}

jack_port_t* JackMidiClient::registerPort (int index, bool isInput)
{
    const auto portName = juce::String (isInput ? "in_" : "out_") + juce::String (index + 1);
    return jack_port_register (client, portName.toRawUTF8(), JACK_DEFAULT_MIDI_TYPE,
                               isInput ? JackPortIsInput : JackPortIsOutput, 0);
}

JackMidiClient::InputSlot* JackMidiClient::claimInput()
{
    const int count = numInputs.load();
    for (int i = 0; i < count; ++i)
    {
        bool expected = false;
        if (inputs[(size_t) i].inUse.compare_exchange_strong (expected, true))
            return &inputs[(size_t) i];
    }
    if (count >= maxPorts)
        return nullptr;

    auto& slot = inputs[(size_t) count];
    slot.port = registerPort (count, true);
    if (slot.port == nullptr)
        return nullptr;
    slot.inUse = true;
    numInputs.store (count + 1); // the process callback sees the port from now on
    return &slot;
}

JackMidiClient::OutputSlot* JackMidiClient::claimOutput (const RemotePort& destination, bool& alreadyConnected)
{
    alreadyConnected = false;
    const int count = numOutputs.load();

    // A port closed a moment ago that still feeds this destination goes on
    // where it left off: what it has left was meant for it anyway.
    for (int i = 0; i < count; ++i)
    {
        auto& slot = outputs[(size_t) i];
        if (slot.remoteName == destination.fullName
            && jack_port_connected_to (slot.port, destination.fullName.toRawUTF8()) && slot.queue.reopen())
        {
            alreadyConnected = true;
            return &slot;
        }
    }

    for (int i = 0; i < count; ++i)
        if (outputs[(size_t) i].queue.claim())
            return &outputs[(size_t) i];

    // Every port is open, or still draining to its old destination.
    if (count >= maxPorts)
        return nullptr;
    auto& slot = outputs[(size_t) count];
    slot.port = registerPort (count, false);
    if (slot.port == nullptr || ! slot.queue.claim())
        return nullptr;
    numOutputs.store (count + 1); // the process callback sees the port from now on
    return &slot;
}

std::unique_ptr<MidiInputPort> JackMidiClient::openInput (const RemotePort& source, MidiInputPortCallback* callback)
{
    const std::lock_guard<std::mutex> g (openMutex);
    if (serverGone)
        return nullptr;
    auto* slot = claimInput();
    if (slot == nullptr)
        return nullptr;

    if (jack_connect (client, source.fullName.toRawUTF8(), jack_port_name (slot->port)) != 0)
    {
        slot->inUse = false;
        return nullptr;
    }
    auto port = std::make_unique<InputPort> (shared_from_this(), *slot, source.displayName);
    {
        const std::lock_guard<std::mutex> d (slot->deliveryMutex);
        slot->remoteName = source.fullName;
        slot->callback = callback;
        slot->owner = port.get();
        slot->parser.reset();
    }
    return port;
}

std::unique_ptr<MidiOutputPort> JackMidiClient::openOutput (const RemotePort& destination)
{
    const std::lock_guard<std::mutex> g (openMutex);
    if (serverGone)
        return nullptr;
    bool alreadyConnected = false;
    auto* slot = claimOutput (destination, alreadyConnected);
    if (slot == nullptr)
        return nullptr;

    if (! alreadyConnected && jack_connect (client, jack_port_name (slot->port), destination.fullName.toRawUTF8()) != 0)
    {
        slot->queue.unclaim();
        return nullptr;
    }
    slot->remoteName = destination.fullName;
    slot->connected = true;
    slot->connectionLost = false;
    return std::make_unique<OutputPort> (shared_from_this(), *slot, destination.displayName);
}

void JackMidiClient::releaseInput (InputSlot& slot)
{
    const std::lock_guard<std::mutex> g (openMutex);
    slot.active = false;
    {
        const std::lock_guard<std::mutex> d (slot.deliveryMutex);
        slot.callback = nullptr;
        slot.owner = nullptr;
        slot.parser.reset();
    }
    if (! serverGone)
        jack_port_disconnect (client, slot.port);
    slot.inUse = false;
}

void JackMidiClient::releaseOutput (OutputSlot& slot)
{
    // Never waits: the port drains on its own, and the reader thread
    // disconnects and frees it afterwards.
    slot.queue.close (juce::Time::getMillisecondCounter());
    sem_post (&wakeReader);
}

bool JackMidiClient::send (OutputSlot& slot, const juce::uint8* data, int size)
{
    if (serverGone || size <= 0)
        return false;

    // Stamped under the lock, so that stamps follow the order of the records.
    const std::lock_guard<std::mutex> g (sendMutex);
    return slot.queue.push (data, size, (juce::uint32) jack_get_time());
}

bool JackMidiClient::isConnected (OutputSlot& slot)
{
    const std::lock_guard<std::mutex> g (openMutex);
    if (slot.connectionLost.exchange (false))
        slot.connected = jack_port_connected_to (slot.port, slot.remoteName.toRawUTF8()) != 0;
    return ! serverGone && slot.connected;
}

bool JackMidiClient::retireClosedOutputs()
{
    const int count = numOutputs.load();
    const auto isClosed = [this] (int i) {
        const auto state = outputs[(size_t) i].queue.getState();
        return state == JackMidiOutputQueue::State::closing || state == JackMidiOutputQueue::State::retiring;
    };
    bool pending = false;
    for (int i = 0; i < count && ! pending; ++i)
        pending = isClosed (i);
    if (! pending)
        return false; // the usual case: no need to hold up an open

    const std::lock_guard<std::mutex> g (openMutex);
    const bool running = ! serverGone;
    const auto now = juce::Time::getMillisecondCounter();
    pending = false;
    for (int i = 0; i < count; ++i)
    {
        auto& slot = outputs[(size_t) i];
        if (slot.queue.retireIfDone (now, running) && running)
            jack_port_disconnect (client, slot.port);
        slot.queue.freeIfRetired (running);
        pending = pending || isClosed (i);
    }
    return pending;
}

bool JackMidiClient::isAnyOutputDraining() const
{
    const int count = numOutputs.load();
    for (int i = 0; i < count; ++i)
    {
        const auto& queue = outputs[(size_t) i].queue;
        if (queue.getState() == JackMidiOutputQueue::State::closing && ! queue.isDrained())
            return true;
    }
    return false;
}

//==============================================================================
int JackMidiClient::processCallback (jack_nframes_t frames, void* arg)
{
    return static_cast<JackMidiClient*> (arg)->process (frames);
}

void JackMidiClient::shutdownCallback (void* arg)
{
    auto* self = static_cast<JackMidiClient*> (arg);
    self->serverGone = true;
    sem_post (&self->wakeReader);
}

void JackMidiClient::portConnectCallback (jack_port_id_t a, jack_port_id_t b, int connect, void* arg)
{
    // Only a lost connection matters; JACK's notification thread, so no lock.
    if (connect != 0)
        return;
    auto* self = static_cast<JackMidiClient*> (arg);
    const auto* portA = jack_port_by_id (self->client, a);
    const auto* portB = jack_port_by_id (self->client, b);
    const int count = self->numOutputs.load();
    for (int i = 0; i < count; ++i)
        if (auto& slot = self->outputs[(size_t) i]; slot.port != nullptr && (slot.port == portA || slot.port == portB))
            slot.connectionLost = true;
}

int JackMidiClient::process (jack_nframes_t frames)
{
    bool received = false;
    const int nIn = numInputs.load();
    for (int i = 0; i < nIn; ++i)
    {
        auto& slot = inputs[(size_t) i];
        void* buffer = jack_port_get_buffer (slot.port, frames);
        const auto count = jack_midi_get_event_count (buffer);
        for (jack_nframes_t e = 0; e < count; ++e)
        {
            jack_midi_event_t event;
            if (jack_midi_event_get (&event, buffer, e) != 0 || event.size == 0 || event.size > MidiEventFifo::maxEventBytes)
                continue;
            if (! slot.active.load())
                continue;
            // When the reader is far behind the event is dropped rather than waited for.
            received = slot.events.push (event.buffer, (int) event.size) || received;
        }
    }
    if (received)
        sem_post (&wakeReader);

    // The wall clock, not the frame counter's estimate of it: a late cycle
    // makes that estimate jump, and with it the spacing of what was sent.
    const JackMidiOutputQueue::Cycle cycle { jack_last_frame_time (client), (juce::uint32) jack_get_time(), frames,
                                             (double) jack_get_sample_rate (client) };
    const int nOut = numOutputs.load();
    for (int i = 0; i < nOut; ++i)
    {
        auto& slot = outputs[(size_t) i];
        void* buffer = jack_port_get_buffer (slot.port, frames);
        jack_midi_clear_buffer (buffer);
        slot.queue.writeCycle (cycle, [buffer] (juce::uint32 offset, size_t size) {
            return jack_midi_event_reserve (buffer, offset, size);
        });
    }
    return 0;
}

void JackMidiClient::readerLoop()
{
    std::vector<juce::uint8> event ((size_t) MidiEventFifo::maxEventBytes);
    bool draining = false;
    while (! quitReader)
    {
        timespec deadline {};
        clock_gettime (CLOCK_REALTIME, &deadline);
        deadline.tv_nsec += (draining ? drainPollMs : 100) * 1000 * 1000;
        if (deadline.tv_nsec >= 1000000000)
        {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000;
        }
        sem_timedwait (&wakeReader, &deadline);

        const int nIn = numInputs.load();
        for (int i = 0; i < nIn; ++i)
        {
            auto& slot = inputs[(size_t) i];
            while (const int size = slot.events.pop (event.data()))
                deliver (slot, event.data(), size);
        }

        draining = retireClosedOutputs();
    }
}

void JackMidiClient::deliver (InputSlot& slot, const juce::uint8* event, int size)
{
    const std::lock_guard<std::mutex> g (slot.deliveryMutex);
    if (slot.callback == nullptr || ! slot.active)
        return;

    for (int i = 0; i < size; ++i)
        if (slot.parser.push (event[i]))
            slot.callback->handleIncomingMidiMessage (
                slot.owner, juce::MidiMessage (slot.parser.message().data(), (int) slot.parser.message().size(),
                                               juce::Time::getMillisecondCounterHiRes() * 0.001));
}

#include "JackMidiClient.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <map>

namespace
{
constexpr int headerBytes = 2;
constexpr int maxChunk = 1024;              // bytes per JACK event we write

void silentJackMessage (const char*) {}
} // namespace

//==============================================================================
bool JackMidiClient::ByteFifo::writeRecord (const juce::uint8* bytes, int n)
{
    // Size and bytes become visible to the reader together, in one step.
    const int total = headerBytes + n;
    if (n > 0xFFFF || fifo.getFreeSpace() < total)
        return false;
    int s1, n1, s2, n2;
    fifo.prepareToWrite (total, s1, n1, s2, n2);
    auto put = [&] (int index, juce::uint8 value) {
        data[(size_t) (index < n1 ? s1 + index : s2 + index - n1)] = value;
    };
    put (0, (juce::uint8) (n >> 8));
    put (1, (juce::uint8) (n & 0xFF));
    const int firstPart = juce::jlimit (0, n, n1 - headerBytes);
    if (firstPart > 0)
        std::memcpy (data.data() + s1 + headerBytes, bytes, (size_t) firstPart);
    const int secondPart = n - firstPart;
    if (secondPart > 0)
    {
        const int offsetInSecond = juce::jmax (0, headerBytes - n1);
        std::memcpy (data.data() + s2 + offsetInSecond, bytes + firstPart, (size_t) secondPart);
    }
    fifo.finishedWrite (total);
    return true;
}

int JackMidiClient::ByteFifo::read (juce::uint8* bytes, int n)
{
    int s1, n1, s2, n2;
    fifo.prepareToRead (n, s1, n1, s2, n2);
    std::memcpy (bytes, data.data() + s1, (size_t) n1);
    if (n2 > 0)
        std::memcpy (bytes + n1, data.data() + s2, (size_t) n2);
    fifo.finishedRead (n1 + n2);
    return n1 + n2;
}

//==============================================================================
class JackMidiClient::InputPort final : public MidiInputPort
{
public:
    InputPort (std::shared_ptr<JackMidiClient> c, Slot& s, juce::String n) : client (std::move (c)), slot (s), name (std::move (n)) {}
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
    Slot& slot;
    juce::String name;
};

class JackMidiClient::OutputPort final : public MidiOutputPort
{
public:
    OutputPort (std::shared_ptr<JackMidiClient> c, Slot& s, juce::String n) : client (std::move (c)), slot (s), name (std::move (n)) {}
    ~OutputPort() override { client->releaseOutput (slot); }

    juce::String getName() const override { return name; }
    bool sendMessageNow (const juce::MidiMessage& message) override
    {
        return client->send (slot, message.getRawData(), message.getRawDataSize());
    }

private:
    std::shared_ptr<JackMidiClient> client;
    Slot& slot;
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
    if (! serverGone)
    {
        for (int i = 0; i < numOutputs.load(); ++i)
            waitUntilSent (outputs[(size_t) i]);
        jack_deactivate (client);
    }
    jack_client_close (client);
    quitReader = true;
    sem_post (&wakeReader);
    reader.join();
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
    jack_free (ports);

    for (auto& [clientPart, full] : found)
    {
        const auto display = perClient[clientPart] == 1 ? clientPart
                                                         : clientPart + ": " + full.fromFirstOccurrenceOf (":", false, false);
        result.push_back ({ display, full });
    }
    return result;
}

JackMidiClient::Slot* JackMidiClient::claimSlot (std::array<Slot, maxPorts>& slots, std::atomic<int>& registered, bool isInput)
{
    const int count = registered.load();
    for (int i = 0; i < count; ++i)
    {
        bool expected = false;
        if (slots[(size_t) i].inUse.compare_exchange_strong (expected, true))
            return &slots[(size_t) i];
    }
    if (count >= maxPorts)
        return nullptr;

    auto& slot = slots[(size_t) count];
    const auto portName = juce::String (isInput ? "in_" : "out_") + juce::String (count + 1);
    slot.port = jack_port_register (client, portName.toRawUTF8(), JACK_DEFAULT_MIDI_TYPE,
                                    isInput ? JackPortIsInput : JackPortIsOutput, 0);
    if (slot.port == nullptr)
        return nullptr;
    slot.inUse = true;
    registered.store (count + 1); // the process callback sees the port from now on
    return &slot;
}

std::unique_ptr<MidiInputPort> JackMidiClient::openInput (const RemotePort& source, MidiInputPortCallback* callback)
{
    const std::lock_guard<std::mutex> g (openMutex);
    if (serverGone)
        return nullptr;
    auto* slot = claimSlot (inputs, numInputs, true);
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
    auto* slot = claimSlot (outputs, numOutputs, false);
    if (slot == nullptr)
        return nullptr;

    if (jack_connect (client, jack_port_name (slot->port), destination.fullName.toRawUTF8()) != 0)
    {
        slot->inUse = false;
        return nullptr;
    }
    slot->remoteName = destination.fullName;
    slot->active = true;
    return std::make_unique<OutputPort> (shared_from_this(), *slot, destination.displayName);
}

void JackMidiClient::releaseInput (Slot& slot)
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

void JackMidiClient::waitUntilSent (Slot& slot)
{
    // What was sent before a port closes (the note-offs at quit) must still
    // reach the peer: give the process callback a few cycles to drain it.
    // The last events must also have been read by the peer, which may run
    // after us in a later cycle, so two more cycles pass before we return.
    int waited = 0;
    for (; waited < 500 && slot.bytes.available() > 0 && ! serverGone; ++waited)
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
    const auto drainedAt = cycles.load();
    for (; waited < 500 && cycles.load() < drainedAt + 2 && ! serverGone; ++waited)
        std::this_thread::sleep_for (std::chrono::milliseconds (1));
}

void JackMidiClient::releaseOutput (Slot& slot)
{
    waitUntilSent (slot);
    const std::lock_guard<std::mutex> g (openMutex);
    slot.active = false;
    if (! serverGone)
        jack_port_disconnect (client, slot.port);
    slot.inUse = false;
}

bool JackMidiClient::send (Slot& slot, const juce::uint8* data, int size)
{
    if (serverGone || ! slot.active || size <= 0)
        return false;

    // Large runs go out as several events; the receiver joins SysEx again.
    const std::lock_guard<std::mutex> g (sendMutex);
    for (int offset = 0; offset < size; offset += maxChunk)
    {
        const int n = juce::jmin (maxChunk, size - offset);
        if (! slot.bytes.writeRecord (data + offset, n))
            return false;
    }
    return true;
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
            if (jack_midi_event_get (&event, buffer, e) != 0 || event.size == 0 || event.size > 0xFFFF)
                continue;
            if (! slot.active.load())
                continue;
            // When the reader is far behind the event is dropped rather than waited for.
            received = slot.bytes.writeRecord (event.buffer, (int) event.size) || received;
        }
    }
    if (received)
        sem_post (&wakeReader);

    const int nOut = numOutputs.load();
    for (int i = 0; i < nOut; ++i)
    {
        auto& slot = outputs[(size_t) i];
        void* buffer = jack_port_get_buffer (slot.port, frames);
        jack_midi_clear_buffer (buffer);
        while (slot.bytes.available() >= headerBytes)
        {
            int s1, n1, s2, n2;
            slot.bytes.fifo.prepareToRead (headerBytes, s1, n1, s2, n2);
            const int size = (slot.bytes.data[(size_t) s1] << 8) | (n1 > 1 ? slot.bytes.data[(size_t) s1 + 1] : slot.bytes.data[(size_t) s2]);
            auto* target = jack_midi_event_reserve (buffer, 0, (size_t) size);
            if (target == nullptr)
                break; // the cycle's buffer is full: the rest goes out next cycle
            slot.bytes.fifo.finishedRead (headerBytes);
            slot.bytes.read (target, size);
        }
    }
    cycles.fetch_add (1);
    return 0;
}

void JackMidiClient::readerLoop()
{
    std::vector<juce::uint8> event (0x10000);
    while (! quitReader)
    {
        timespec deadline {};
        clock_gettime (CLOCK_REALTIME, &deadline);
        deadline.tv_nsec += 100 * 1000 * 1000;
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
            while (slot.bytes.available() >= headerBytes)
            {
                juce::uint8 header[headerBytes];
                slot.bytes.read (header, headerBytes);
                const int size = (header[0] << 8) | header[1];
                slot.bytes.read (event.data(), size);
                deliver (slot, event.data(), size);
            }
        }
    }
}

void JackMidiClient::deliver (Slot& slot, const juce::uint8* event, int size)
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

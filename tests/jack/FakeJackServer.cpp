#include "FakeJackServer.h"

#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

struct _jack_client
{
    std::string name;
    bool active = false;
    bool closed = false;
    JackProcessCallback process = nullptr;
    void* processArg = nullptr;
    JackShutdownCallback shutdown = nullptr;
    void* shutdownArg = nullptr;
    JackPortConnectCallback connect = nullptr;
    void* connectArg = nullptr;
};

namespace
{
struct Event
{
    jack_nframes_t time;
    FakeJackServer::Bytes bytes;
};

struct Buffer
{
    // A deque keeps what reserve handed out in place while more is reserved.
    std::deque<Event> events;
    size_t used = 0;
};
} // namespace

struct _jack_port
{
    std::string name;
    bool isInput = false;
    _jack_client* owner = nullptr; // null for another client's port
    bool gone = false;
    Buffer buffer;
    std::vector<FakeJackServer::Bytes> pending; // a remote source's next events
};

namespace
{
struct State
{
    std::recursive_mutex mutex;
    std::deque<_jack_client> clients;
    std::deque<_jack_port> ports;
    std::set<std::pair<std::string, std::string>> connections; // source, destination
    std::map<std::string, std::vector<FakeJackServer::Bytes>> received;
    std::atomic<std::uint64_t> nowUs { 1000000 };
    jack_nframes_t frame = 0;
    std::thread::id processThread;
    int connectRequests = 0;
    int misuse = 0;
    std::atomic<bool> cycling { false };
    std::thread cycler;
};

State& state()
{
    static State s;
    return s;
}

using Lock = std::lock_guard<std::recursive_mutex>;

_jack_port* findPort (const char* name)
{
    if (name == nullptr)
        return nullptr;
    for (auto& p : state().ports)
        if (! p.gone && p.name == name)
            return &p;
    return nullptr;
}

// Whether a handle the client passes is one the library knows; a handle it
// does not know is counted, since the real library would not survive it.
template <typename Items, typename Match>
bool isKnown (const Items& items, Match match)
{
    if (std::any_of (items.begin(), items.end(), match))
        return true;
    ++state().misuse;
    return false;
}

bool isKnownPort (const jack_port_t* port)
{
    return isKnown (state().ports, [port] (auto& p) { return &p == port && ! p.gone; });
}

bool isKnownBuffer (const void* buffer)
{
    return isKnown (state().ports, [buffer] (auto& p) { return &p.buffer == buffer; });
}

bool isOpenClient (const jack_client_t* client)
{
    return isKnown (state().clients, [client] (auto& c) { return &c == client && ! c.closed; });
}

jack_port_id_t idOf (const _jack_port& port)
{
    auto& ports = state().ports;
    for (size_t i = 0; i < ports.size(); ++i)
        if (&ports[i] == &port)
            return (jack_port_id_t) i;
    return 0;
}

std::vector<std::pair<std::string, std::string>> dropConnectionsOf (const std::string& port)
{
    const Lock g (state().mutex);
    std::vector<std::pair<std::string, std::string>> lost;
    auto& connections = state().connections;
    for (auto it = connections.begin(); it != connections.end();)
    {
        if (it->first == port || it->second == port)
        {
            lost.push_back (*it);
            it = connections.erase (it);
        }
        else
        {
            ++it;
        }
    }
    return lost;
}

// Tells every client that wants to know that a connection went; outside the
// lock, as JACK tells them on a thread of its own.
void notifyDisconnected (const std::vector<std::pair<std::string, std::string>>& lost)
{
    std::vector<std::tuple<JackPortConnectCallback, void*, jack_port_id_t, jack_port_id_t>> calls;
    {
        const Lock g (state().mutex);
        for (auto& [a, b] : lost)
        {
            auto* portA = findPort (a.c_str());
            auto* portB = findPort (b.c_str());
            if (portA == nullptr || portB == nullptr)
                continue;
            for (auto& c : state().clients)
                if (! c.closed && c.connect != nullptr)
                    calls.emplace_back (c.connect, c.connectArg, idOf (*portA), idOf (*portB));
        }
    }
    for (auto& [callback, arg, a, b] : calls)
        callback (a, b, 0, arg);
}
} // namespace

//==============================================================================
FakeJackServer& FakeJackServer::get()
{
    static FakeJackServer server;
    return server;
}

void FakeJackServer::reset()
{
    stopCycling();
    auto& s = state();
    const Lock g (s.mutex);
    s.clients.clear();
    s.ports.clear();
    s.connections.clear();
    s.received.clear();
    s.frame = 0;
    s.connectRequests = 0;
    s.misuse = 0;
    refuseOpen = refuseActivate = refuseRegister = refuseConnect = false;
}

void FakeJackServer::addRemoteSource (const std::string& fullName)
{
    const Lock g (state().mutex);
    state().ports.push_back ({ fullName, false });
}

void FakeJackServer::addRemoteDestination (const std::string& fullName)
{
    const Lock g (state().mutex);
    state().ports.push_back ({ fullName, true });
}

void FakeJackServer::queueFrom (const std::string& source, Bytes bytes)
{
    const Lock g (state().mutex);
    if (auto* port = findPort (source.c_str()))
        port->pending.push_back (std::move (bytes));
}

void FakeJackServer::runCycle()
{
    auto& s = state();
    const Lock g (s.mutex);
    for (auto& port : s.ports)
    {
        if (port.gone || port.owner == nullptr || ! port.isInput)
            continue;
        port.buffer = {};
        for (auto& source : s.ports)
            if (! source.gone && s.connections.count ({ source.name, port.name }) != 0)
                for (auto& bytes : source.pending)
                    port.buffer.events.push_back ({ 0, bytes });
    }
    for (auto& port : s.ports)
        port.pending.clear();

    s.processThread = std::this_thread::get_id();
    for (auto& client : s.clients)
        if (client.active && ! client.closed && client.process != nullptr)
            client.process (framesPerCycle, client.processArg);
    s.processThread = {};

    // An output buffer is not emptied between cycles: a client that forgets
    // to clear it sends its events again.
    for (auto& port : s.ports)
        if (! port.gone && port.owner != nullptr && ! port.isInput)
            for (auto& [source, destination] : s.connections)
                if (source == port.name)
                    for (auto& event : port.buffer.events)
                        s.received[destination].push_back (event.bytes);

    s.frame += framesPerCycle;
    s.nowUs += (std::uint64_t) framesPerCycle * 1000000 / sampleRate;
}

void FakeJackServer::startCycling()
{
    auto& s = state();
    if (s.cycling.exchange (true))
        return;
    s.cycler = std::thread ([this, &s] {
        while (s.cycling)
        {
            runCycle();
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }
    });
}

void FakeJackServer::stopCycling()
{
    auto& s = state();
    if (s.cycling.exchange (false))
        s.cycler.join();
}

std::vector<FakeJackServer::Bytes> FakeJackServer::takeReceived (const std::string& destination)
{
    const Lock g (state().mutex);
    auto result = std::move (state().received[destination]);
    state().received.erase (destination);
    return result;
}

void FakeJackServer::breakConnectionsOf (const std::string& port)
{
    notifyDisconnected (dropConnectionsOf (port));
}

void FakeJackServer::shutDown()
{
    std::vector<std::pair<JackShutdownCallback, void*>> calls;
    {
        const Lock g (state().mutex);
        for (auto& c : state().clients)
        {
            if (! c.closed && c.shutdown != nullptr)
                calls.emplace_back (c.shutdown, c.shutdownArg);
            c.active = false;
        }
    }
    for (auto& [callback, arg] : calls)
        callback (arg);
}

int FakeJackServer::countOwnPorts (bool input) const
{
    const Lock g (state().mutex);
    int n = 0;
    for (auto& p : state().ports)
        n += (! p.gone && p.owner != nullptr && p.isInput == input) ? 1 : 0;
    return n;
}

int FakeJackServer::countConnectRequests() const
{
    const Lock g (state().mutex);
    return state().connectRequests;
}

int FakeJackServer::countOpenClients() const
{
    const Lock g (state().mutex);
    int n = 0;
    for (auto& c : state().clients)
        n += c.closed ? 0 : 1;
    return n;
}

int FakeJackServer::countMisuse() const
{
    const Lock g (state().mutex);
    return state().misuse;
}

//==============================================================================
// The library's side, as the client calls it.
void jack_set_error_function (void (*) (const char*)) {}
void jack_set_info_function (void (*) (const char*)) {}

jack_client_t* jack_client_open (const char* name, jack_options_t, jack_status_t* status, ...)
{
    const Lock g (state().mutex);
    if (FakeJackServer::get().refuseOpen)
    {
        if (status != nullptr)
            *status = (jack_status_t) (JackFailure | JackServerFailed);
        return nullptr;
    }
    state().clients.push_back ({});
    state().clients.back().name = name;
    return &state().clients.back();
}

char* jack_get_client_name (jack_client_t* client)
{
    return client->name.data();
}

int jack_set_process_callback (jack_client_t* client, JackProcessCallback callback, void* arg)
{
    const Lock g (state().mutex);
    client->process = callback;
    client->processArg = arg;
    return 0;
}

void jack_on_shutdown (jack_client_t* client, JackShutdownCallback callback, void* arg)
{
    const Lock g (state().mutex);
    client->shutdown = callback;
    client->shutdownArg = arg;
}

int jack_set_port_connect_callback (jack_client_t* client, JackPortConnectCallback callback, void* arg)
{
    const Lock g (state().mutex);
    client->connect = callback;
    client->connectArg = arg;
    return 0;
}

int jack_activate (jack_client_t* client)
{
    const Lock g (state().mutex);
    if (! isOpenClient (client) || FakeJackServer::get().refuseActivate)
        return -1;
    client->active = true;
    return 0;
}

int jack_deactivate (jack_client_t* client)
{
    const Lock g (state().mutex);
    if (! isOpenClient (client))
        return -1;
    client->active = false;
    return 0;
}

int jack_client_close (jack_client_t* client)
{
    const Lock g (state().mutex);
    if (! isOpenClient (client))
        return -1;
    for (auto& p : state().ports)
    {
        if (p.owner == client && ! p.gone)
        {
            dropConnectionsOf (p.name);
            p.gone = true;
        }
    }
    client->active = false;
    client->closed = true;
    return 0;
}

const char** jack_get_ports (jack_client_t* client, const char* namePattern, const char* typePattern, unsigned long flags)
{
    const Lock g (state().mutex);
    if (! isOpenClient (client) || namePattern != nullptr || typePattern == nullptr
        || std::strcmp (typePattern, JACK_DEFAULT_MIDI_TYPE) != 0)
        return nullptr;

    std::vector<const std::string*> names;
    for (auto& p : state().ports)
        if (! p.gone && (((flags & JackPortIsInput) != 0 && p.isInput) || ((flags & JackPortIsOutput) != 0 && ! p.isInput)))
            names.push_back (&p.name);
    if (names.empty())
        return nullptr;

    // One block, as the library hands it out: freed with jack_free.
    size_t bytes = (names.size() + 1) * sizeof (char*);
    for (auto* n : names)
        bytes += n->size() + 1;
    auto* block = static_cast<char*> (std::malloc (bytes));
    auto** list = reinterpret_cast<const char**> (block);
    char* text = block + (names.size() + 1) * sizeof (char*);
    for (size_t i = 0; i < names.size(); ++i)
    {
        std::memcpy (text, names[i]->c_str(), names[i]->size() + 1);
        list[i] = text;
        text += names[i]->size() + 1;
    }
    list[names.size()] = nullptr;
    return list;
}

void jack_free (void* p)
{
    std::free (p);
}

jack_port_t* jack_port_register (jack_client_t* client, const char* shortName, const char* type, unsigned long flags, unsigned long)
{
    const Lock g (state().mutex);
    if (! isOpenClient (client) || std::strcmp (type, JACK_DEFAULT_MIDI_TYPE) != 0 || FakeJackServer::get().refuseRegister)
        return nullptr;
    const auto name = client->name + ":" + shortName;
    if (findPort (name.c_str()) != nullptr)
        return nullptr;
    state().ports.push_back ({ name, (flags & JackPortIsInput) != 0, client });
    return &state().ports.back();
}

const char* jack_port_name (const jack_port_t* port)
{
    const Lock g (state().mutex);
    return isKnownPort (port) ? port->name.c_str() : nullptr;
}

jack_port_t* jack_port_by_id (jack_client_t*, jack_port_id_t id)
{
    const Lock g (state().mutex);
    return id < state().ports.size() ? &state().ports[id] : nullptr;
}

int jack_connect (jack_client_t* client, const char* source, const char* destination)
{
    const Lock g (state().mutex);
    ++state().connectRequests;
    if (! isOpenClient (client) || FakeJackServer::get().refuseConnect)
        return -1;
    auto* from = findPort (source);
    auto* to = findPort (destination);
    if (from == nullptr || to == nullptr || from->isInput || ! to->isInput)
        return -1;
    return state().connections.insert ({ from->name, to->name }).second ? 0 : EEXIST;
}

int jack_port_disconnect (jack_client_t* client, jack_port_t* port)
{
    std::string name;
    {
        const Lock g (state().mutex);
        if (! isOpenClient (client) || ! isKnownPort (port))
            return -1;
        name = port->name;
    }
    notifyDisconnected (dropConnectionsOf (name));
    return 0;
}

int jack_port_connected_to (const jack_port_t* port, const char* name)
{
    const Lock g (state().mutex);
    if (! isKnownPort (port) || name == nullptr)
        return 0;
    const auto& c = state().connections;
    return (c.count ({ port->name, name }) != 0 || c.count ({ name, port->name }) != 0) ? 1 : 0;
}

jack_time_t jack_get_time()
{
    return state().nowUs.load();
}

jack_nframes_t jack_last_frame_time (const jack_client_t*)
{
    const Lock g (state().mutex);
    return state().frame;
}

jack_nframes_t jack_get_sample_rate (jack_client_t*)
{
    return FakeJackServer::sampleRate;
}

void* jack_port_get_buffer (jack_port_t* port, jack_nframes_t frames)
{
    const Lock g (state().mutex);
    if (state().processThread != std::this_thread::get_id() || frames != FakeJackServer::framesPerCycle)
    {
        ++state().misuse;
        return nullptr;
    }
    return isKnownPort (port) ? &port->buffer : nullptr;
}

uint32_t jack_midi_get_event_count (void* buffer)
{
    const Lock g (state().mutex);
    return isKnownBuffer (buffer) ? (uint32_t) static_cast<Buffer*> (buffer)->events.size() : 0;
}

int jack_midi_event_get (jack_midi_event_t* event, void* buffer, uint32_t index)
{
    const Lock g (state().mutex);
    if (! isKnownBuffer (buffer))
        return -EINVAL;
    auto& events = static_cast<Buffer*> (buffer)->events;
    if (index >= events.size())
        return -ENODATA;
    auto& e = events[index];
    *event = { e.time, e.bytes.size(), e.bytes.data() };
    return 0;
}

void jack_midi_clear_buffer (void* buffer)
{
    const Lock g (state().mutex);
    if (isKnownBuffer (buffer))
        *static_cast<Buffer*> (buffer) = {};
}

jack_midi_data_t* jack_midi_event_reserve (void* buffer, jack_nframes_t time, size_t size)
{
    const Lock g (state().mutex);
    if (! isKnownBuffer (buffer))
        return nullptr;
    auto& b = *static_cast<Buffer*> (buffer);
    // The library refuses an event out of time order or outside the period.
    if (time >= FakeJackServer::framesPerCycle || (! b.events.empty() && time < b.events.back().time) || size == 0)
    {
        ++state().misuse;
        return nullptr;
    }
    if (b.used + size > FakeJackServer::bufferBytes)
        return nullptr;
    b.used += size;
    b.events.push_back ({ time, FakeJackServer::Bytes (size) });
    return b.events.back().bytes.data();
}

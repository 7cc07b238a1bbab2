#include "JackMidiPortSystem.h"

#include "JackMidiClient.h"

namespace
{
// How often a missing server is looked for again; connecting is cheap but
// the device poll lists four times every 50 ms.
constexpr juce::uint32 retryIntervalMs = 1000;

juce::StringArray displayNames (const std::vector<JackMidiClient::RemotePort>& ports)
{
    juce::StringArray names;
    for (auto& port : ports)
        names.add (port.displayName);
    return names;
}
} // namespace

JackMidiPortSystem::JackMidiPortSystem (juce::String name) : clientName (std::move (name)) {}

JackMidiPortSystem::~JackMidiPortSystem() = default;

std::shared_ptr<JackMidiClient> JackMidiPortSystem::getClient()
{
    const std::lock_guard<std::mutex> g (mutex);
    const auto now = juce::Time::getMillisecondCounter();
    if (client != nullptr && ! client->isAlive())
    {
        // The server went away; its ports are gone with it. The next client
        // opened frees every client of the lost server, so wait a moment:
        // the other clients of this process (JUCE's audio device) must hear
        // of the loss before theirs is freed.
        client.reset();
        lastAttemptMs = now;
    }

    if (client == nullptr)
    {
        if (! attempted || now - lastAttemptMs >= retryIntervalMs)
        {
            attempted = true;
            lastAttemptMs = now;
            client = JackMidiClient::connect (clientName);
        }
    }
    return client;
}

bool JackMidiPortSystem::isConnected()
{
    return getClient() != nullptr;
}

juce::StringArray JackMidiPortSystem::getInputNames()
{
    auto c = getClient();
    return c != nullptr ? displayNames (c->listSources()) : juce::StringArray();
}

juce::StringArray JackMidiPortSystem::getOutputNames()
{
    auto c = getClient();
    return c != nullptr ? displayNames (c->listDestinations()) : juce::StringArray();
}

std::unique_ptr<MidiInputPort> JackMidiPortSystem::openInput (int index, MidiInputPortCallback* callback)
{
    auto c = getClient();
    if (c == nullptr)
        return nullptr;
    const auto sources = c->listSources();
    if (! juce::isPositiveAndBelow (index, (int) sources.size()))
        return nullptr;
    return c->openInput (sources[(size_t) index], callback);
}

std::unique_ptr<MidiOutputPort> JackMidiPortSystem::openOutput (int index)
{
    auto c = getClient();
    if (c == nullptr)
        return nullptr;
    const auto destinations = c->listDestinations();
    if (! juce::isPositiveAndBelow (index, (int) destinations.size()))
        return nullptr;
    return c->openOutput (destinations[(size_t) index]);
}

#pragma once

#include <jack/jack.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A JACK server in the test process: this binary defines the jack_* functions
// the MIDI client calls, so the client runs its real code against ports,
// connections and cycles that the test drives. Cycles run only when the test
// asks; the clock moves one period per cycle.
class FakeJackServer
{
public:
    using Bytes = std::vector<std::uint8_t>;

    static FakeJackServer& get();

    // Forgets every port, connection and client; what goes wrong is reset.
    void reset();

    // A port of another client: a source feeds our inputs, a destination
    // takes what our outputs send.
    void addRemoteSource (const std::string& fullName);
    void addRemoteDestination (const std::string& fullName);

    // One event that `source` writes in the next cycle.
    void queueFrom (const std::string& source, Bytes bytes);
    // Runs the process callback of every active client for one period.
    void runCycle();
    // Runs cycles on a thread of their own, about one per millisecond, until
    // stopped or reset.
    void startCycling();
    void stopCycling();

    // The events our outputs wrote to `destination`, in order, since last taken.
    std::vector<Bytes> takeReceived (const std::string& destination);

    // A peer's port went away: its connections go, and clients are told.
    void breakConnectionsOf (const std::string& port);
    // The server stops: every client's shutdown callback runs.
    void shutDown();

    int countOwnPorts (bool input) const;
    int countConnectRequests() const;
    int countOpenClients() const;
    // Calls the real library would not survive or would reject: an unknown
    // or null port, an event written before the previous one or past the
    // period, a buffer asked for outside the process callback.
    int countMisuse() const;

    bool refuseOpen = false;
    bool refuseActivate = false;
    bool refuseRegister = false;
    bool refuseConnect = false;

    static constexpr jack_nframes_t framesPerCycle = 256;
    static constexpr jack_nframes_t sampleRate = 48000;
    // Room in one output buffer for a cycle's events.
    static constexpr size_t bufferBytes = 4096;
};

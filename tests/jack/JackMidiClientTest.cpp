#include "FakeJackServer.h"
#include "midi/JackMidiClient.h"
#include "midi/JackMidiPortSystem.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace
{
const std::string kestruneOut = "Kestrune Jack 1:midi_out";
const std::string kestruneIn = "Kestrune Jack 1:midi_in";
const std::string otherOut = "Other:capture";
const std::string otherIn = "Other:playback";

JackMidiClient::RemotePort remote (const std::string& fullName)
{
    return { juce::String (fullName), juce::String (fullName) };
}

// Collects what an input hands on, from the client's reader thread.
class Collector : public MidiInputPortCallback
{
public:
    void handleIncomingMidiMessage (MidiInputPort*, const juce::MidiMessage& message) override
    {
        const std::lock_guard<std::mutex> g (mutex);
        messages.push_back (bytesOf (message));
        arrived.notify_all();
    }

    // Waits until at least `count` messages arrived (the reader hands them on
    // soon after the cycle), and returns all of them.
    std::vector<Bytes> waitFor (size_t count)
    {
        std::unique_lock<std::mutex> l (mutex);
        arrived.wait_for (l, std::chrono::seconds (10), [&] { return messages.size() >= count; });
        return messages;
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Bytes> messages;
};

bool send (MidiOutputPort& port, const Bytes& bytes)
{
    return port.sendMessageNow (juce::MidiMessage (bytes.data(), (int) bytes.size()));
}

Bytes joined (const std::vector<Bytes>& events)
{
    Bytes all;
    for (auto& e : events)
        all.insert (all.end(), e.begin(), e.end());
    return all;
}

Bytes sysex (size_t dataBytes)
{
    Bytes b { 0xF0 };
    for (size_t i = 0; i < dataBytes; ++i)
        b.push_back ((juce::uint8) (i % 0x80));
    b.push_back (0xF7);
    return b;
}

const Bytes noteOn { 0x90, 0x30, 0x7F };
const Bytes noteOff { 0x80, 0x30, 0x00 };
} // namespace

class JackMidiClientTest : public ::testing::Test
{
protected:
    void SetUp() override { start(); }

    void TearDown() override
    {
        EXPECT_EQ (server.countMisuse(), 0) << "a call the JACK library would refuse or not survive";
        server.reset();
    }

    void start()
    {
        server.reset();
        for (auto& source : { kestruneOut, otherOut })
            server.addRemoteSource (source);
        for (auto& destination : { kestruneIn, otherIn })
            server.addRemoteDestination (destination);
    }

    static std::shared_ptr<JackMidiClient> connect() { return JackMidiClient::connect ("Kestrune Tuning Utility"); }

    // Enough cycles for everything sent so far to go out: records leave one
    // period after they were sent.
    void runCycles (int count = 4)
    {
        for (int i = 0; i < count; ++i)
            server.runCycle();
    }

    FakeJackServer& server = FakeJackServer::get();
};

TEST_F (JackMidiClientTest, ConnectsOnlyWhenTheServerTakesTheClientAndActivatesIt)
{
    struct Case
    {
        bool refuseOpen, refuseActivate, connects;
    };
    for (auto c : { Case { false, false, true }, Case { true, false, false }, Case { false, true, false } })
    {
        start();
        server.refuseOpen = c.refuseOpen;
        server.refuseActivate = c.refuseActivate;
        auto client = connect();
        EXPECT_EQ (client != nullptr, c.connects);
        // A client the server would not activate is not left open.
        EXPECT_EQ (server.countOpenClients(), c.connects ? 1 : 0);
        if (client != nullptr)
        {
            EXPECT_TRUE (client->isAlive());
            std::vector<juce::String> sources;
            for (auto& port : client->listSources())
                sources.push_back (port.fullName);
            EXPECT_EQ (sources, (std::vector<juce::String> { kestruneOut, otherOut }));
        }
        client.reset();
        EXPECT_EQ (server.countOpenClients(), 0);
    }
}

TEST_F (JackMidiClientTest, EachInputHandsOnWholeMessagesFromItsOwnSource)
{
    auto client = connect();
    ASSERT_NE (client, nullptr);
    Collector fromKestrune, fromOther;
    auto kestrune = client->openInput (remote (kestruneOut), &fromKestrune);
    auto other = client->openInput (remote (otherOut), &fromOther);
    ASSERT_NE (kestrune, nullptr);
    ASSERT_NE (other, nullptr);
    kestrune->start();
    other->start();

    // A SysEx message split over two events is joined again; an empty event
    // and one larger than an event can be are passed over; the largest event
    // there can be arrives whole (a run of clock bytes, one message each).
    const auto& s = sysex (6);
    const Bytes largest ((size_t) MidiEventFifo::maxEventBytes, 0xF8);
    server.queueFrom (kestruneOut, noteOn);
    server.queueFrom (kestruneOut, Bytes (s.begin(), s.begin() + 4));
    server.queueFrom (kestruneOut, Bytes (s.begin() + 4, s.end()));
    server.queueFrom (kestruneOut, {});
    server.queueFrom (kestruneOut, Bytes (largest.size() + 1, 0xF8));
    server.queueFrom (kestruneOut, largest);
    server.queueFrom (kestruneOut, noteOff);
    server.queueFrom (otherOut, { 0xB0, 0x07, 0x40 });
    server.runCycle();

    const auto expectedCount = 3 + largest.size();
    const auto got = fromKestrune.waitFor (expectedCount);
    ASSERT_EQ (got.size(), expectedCount);
    EXPECT_EQ (got.front(), noteOn);
    EXPECT_EQ (got[1], s);
    EXPECT_EQ (std::count (got.begin(), got.end(), Bytes { 0xF8 }), (long) largest.size());
    EXPECT_EQ (got.back(), noteOff);
    EXPECT_EQ (fromOther.waitFor (1), (std::vector<Bytes> { { 0xB0, 0x07, 0x40 } }));
}

TEST_F (JackMidiClientTest, AStoppedInputHandsOnNothingAndAClosedOnesPortServesTheNextOpen)
{
    auto client = connect();
    ASSERT_NE (client, nullptr);
    Collector first, second, third;
    auto a = client->openInput (remote (kestruneOut), &first);
    auto b = client->openInput (remote (otherOut), &second);
    ASSERT_NE (a, nullptr);
    ASSERT_NE (b, nullptr);
    a->start();
    b->start();
    a->stop();
    server.queueFrom (kestruneOut, noteOn);
    server.runCycle();
    a->start();
    server.queueFrom (kestruneOut, noteOff);
    server.runCycle();
    EXPECT_EQ (first.waitFor (1), (std::vector<Bytes> { noteOff }));

    // The closed input's port is taken again, not the one still open, and
    // is then held: the next open gets a port of its own.
    a.reset();
    auto c = client->openInput (remote (kestruneOut), &third);
    ASSERT_NE (c, nullptr);
    c->start();
    EXPECT_EQ (server.countOwnPorts (true), 2);
    Collector fourth;
    auto d = client->openInput (remote (otherOut), &fourth);
    ASSERT_NE (d, nullptr);
    EXPECT_EQ (server.countOwnPorts (true), 3);
    server.queueFrom (kestruneOut, noteOn);
    server.queueFrom (otherOut, noteOff);
    server.runCycle();
    EXPECT_EQ (third.waitFor (1), (std::vector<Bytes> { noteOn }));
    EXPECT_EQ (second.waitFor (1), (std::vector<Bytes> { noteOff }));
}

TEST_F (JackMidiClientTest, WhatIsSentReachesItsDestinationInOrderAndOnce)
{
    auto client = connect();
    ASSERT_NE (client, nullptr);
    auto out = client->openOutput (remote (kestruneIn));
    ASSERT_NE (out, nullptr);
    EXPECT_TRUE (out->isConnected());

    // Longer than one event may be, and more than one cycle's buffer holds.
    const auto& long_ = sysex (5000);
    for (auto& message : { noteOn, long_, noteOff })
        EXPECT_TRUE (send (*out, message));
    runCycles (8);
    Bytes expected = noteOn;
    expected.insert (expected.end(), long_.begin(), long_.end());
    expected.insert (expected.end(), noteOff.begin(), noteOff.end());
    EXPECT_EQ (joined (server.takeReceived (kestruneIn)), expected);
    EXPECT_TRUE (server.takeReceived (otherIn).empty());

    runCycles();
    EXPECT_TRUE (server.takeReceived (kestruneIn).empty());
}

TEST_F (JackMidiClientTest, APortClosedAndOpenedAgainGoesOnWhereItLeftOffOnlyToTheSameDestination)
{
    for (const bool sameDestination : { true, false })
    {
        start();
        auto client = connect();
        ASSERT_NE (client, nullptr);
        auto out = client->openOutput (remote (kestruneIn));
        ASSERT_NE (out, nullptr);
        send (*out, noteOn);
        out.reset(); // closed before its cycle came

        const auto& next = sameDestination ? kestruneIn : otherIn;
        auto again = client->openOutput (remote (next));
        ASSERT_NE (again, nullptr);
        send (*again, noteOff);
        runCycles();

        if (sameDestination)
        {
            EXPECT_EQ (server.takeReceived (kestruneIn), (std::vector<Bytes> { noteOn, noteOff }));
            EXPECT_EQ (server.countOwnPorts (false), 1);
            EXPECT_EQ (server.countConnectRequests(), 1);
        }
        else
        {
            // What was left for the old destination never reaches the new one.
            EXPECT_EQ (server.takeReceived (kestruneIn), (std::vector<Bytes> { noteOn }));
            EXPECT_EQ (server.takeReceived (otherIn), (std::vector<Bytes> { noteOff }));
            EXPECT_EQ (server.countOwnPorts (false), 2);
        }
        again.reset();
        runCycles();
    }
}

TEST_F (JackMidiClientTest, AnOpenTheServerRefusesLeavesNothingHeld)
{
    struct Case
    {
        bool refuseRegister, refuseConnect;
    };
    for (auto c : { Case { true, false }, Case { false, true } })
    {
        start();
        auto client = connect();
        ASSERT_NE (client, nullptr);
        Collector collector;
        server.refuseRegister = c.refuseRegister;
        server.refuseConnect = c.refuseConnect;
        EXPECT_EQ (client->openOutput (remote (kestruneIn)), nullptr);
        EXPECT_EQ (client->openInput (remote (kestruneOut), &collector), nullptr);
        runCycles();

        server.refuseRegister = server.refuseConnect = false;
        auto out = client->openOutput (remote (kestruneIn));
        auto in = client->openInput (remote (kestruneOut), &collector);
        ASSERT_NE (out, nullptr);
        ASSERT_NE (in, nullptr);
        // A port registered for the refused connection serves the next open.
        EXPECT_EQ (server.countOwnPorts (false), 1);
        EXPECT_EQ (server.countOwnPorts (true), 1);
        in->start();
        send (*out, noteOn);
        server.queueFrom (kestruneOut, noteOff);
        runCycles();
        EXPECT_EQ (server.takeReceived (kestruneIn), (std::vector<Bytes> { noteOn }));
        EXPECT_EQ (collector.waitFor (1), (std::vector<Bytes> { noteOff }));
    }
}

TEST_F (JackMidiClientTest, AnOutputReadsAsDisconnectedOnceItsPeerOrTheServerIsGone)
{
    auto client = connect();
    ASSERT_NE (client, nullptr);
    Collector collector;
    auto in = client->openInput (remote (otherOut), &collector);
    auto out = client->openOutput (remote (kestruneIn));
    ASSERT_NE (in, nullptr);
    ASSERT_NE (out, nullptr);

    // Another port's connection going says nothing about this one.
    server.breakConnectionsOf (otherOut);
    EXPECT_TRUE (out->isConnected());
    server.breakConnectionsOf (kestruneIn);
    EXPECT_FALSE (out->isConnected());
    EXPECT_FALSE (out->isConnected());

    auto fresh = client->openOutput (remote (otherIn));
    ASSERT_NE (fresh, nullptr);
    EXPECT_TRUE (fresh->isConnected());
    server.shutDown();
    EXPECT_FALSE (client->isAlive());
    EXPECT_FALSE (fresh->isConnected());
    EXPECT_FALSE (send (*fresh, noteOn));
    EXPECT_EQ (client->openOutput (remote (otherIn)), nullptr);
    EXPECT_EQ (client->openInput (remote (kestruneOut), &collector), nullptr);
    EXPECT_TRUE (client->listDestinations().empty());
}

// The device poll lists several times a second: a missing server is looked
// for again only after a while, and one that stops is let go.
TEST_F (JackMidiClientTest, APortSystemOpensWhatItListsAndLooksForAMissingServerOnlyNowAndThen)
{
    server.refuseOpen = true;
    JackMidiPortSystem missing;
    EXPECT_FALSE (missing.isConnected());
    server.refuseOpen = false;
    EXPECT_FALSE (missing.isConnected()) << "looked for again at once";
    EXPECT_TRUE (missing.getOutputNames().isEmpty());

    JackMidiPortSystem running;
    EXPECT_EQ (running.getInputNames(), juce::StringArray ({ "Kestrune Jack 1", "Other" }));
    EXPECT_EQ (running.getOutputNames(), juce::StringArray ({ "Kestrune Jack 1", "Other" }));
    EXPECT_EQ (running.openOutput (2), nullptr);
    EXPECT_EQ (running.openInput (2, nullptr), nullptr);
    auto out = running.openOutput (1);
    ASSERT_NE (out, nullptr);
    EXPECT_EQ (out->getName(), "Other");
    send (*out, noteOn);
    runCycles();
    EXPECT_EQ (server.takeReceived (otherIn), (std::vector<Bytes> { noteOn }));
    out.reset();
    runCycles();

    server.shutDown();
    EXPECT_FALSE (running.isConnected());
    EXPECT_TRUE (running.getInputNames().isEmpty());
}

TEST_F (JackMidiClientTest, WhatWasSentJustBeforeTheClientClosesStillReachesThePeer)
{
    auto client = connect();
    ASSERT_NE (client, nullptr);
    auto out = client->openOutput (remote (kestruneIn));
    ASSERT_NE (out, nullptr);
    server.startCycling();
    send (*out, noteOff);
    out.reset();
    client.reset();
    server.stopCycling();
    EXPECT_EQ (server.takeReceived (kestruneIn), (std::vector<Bytes> { noteOff }));
    EXPECT_EQ (server.countOpenClients(), 0);
}

// What the owner picks from in Preferences, for what a JACK server lists.
TEST (JackMidiClient, RemotePortsAreNamedByTheirClientUnlessItHasSeveral)
{
    struct Case
    {
        std::vector<const char*> listed;
        std::vector<std::string> shown;
    };
    const Case cases[] {
        { {}, {} },
        { { "Kestrune Jack 1:midi_in" }, { "Kestrune Jack 1" } },
        { { "Kestrune Tuning Utility:out_1", "Kestrune Jack 1:midi_in", "Kestrune Tuning Utility:out_2" }, { "Kestrune Jack 1" } },
        { { "a2j:Synth [20] (playback): port 0", "Kestrune Jack 1:midi_in", "a2j:Synth [20] (playback): port 1" },
          { "a2j: Synth [20] (playback): port 0", "Kestrune Jack 1", "a2j: Synth [20] (playback): port 1" } },
    };
    for (const auto& c : cases)
    {
        auto listed = c.listed;
        listed.push_back (nullptr);
        std::vector<std::string> shown;
        for (const auto& port : JackMidiClient::nameRemotePorts (listed.data(), "Kestrune Tuning Utility"))
        {
            EXPECT_TRUE (std::any_of (c.listed.begin(), c.listed.end(), [&] (const char* p) { return port.fullName == p; })) << port.fullName;
            shown.push_back (port.displayName.toStdString());
        }
        EXPECT_EQ (shown, c.shown);
    }
}

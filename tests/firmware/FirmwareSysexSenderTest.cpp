#include "EmbeddedData.h"
#include "firmware/FirmwareSysexSender.h"
#include "midi/DeviceMessages.h"
#include "sim/model/SimulatedClock.h"
#include "support/Bytes.h"
#include "support/FakeMidiPortSystem.h"

#include <gtest/gtest.h>

namespace
{
struct Recorder : FirmwareSysexSender::Listener
{
    void firmwareProgressChanged (FirmwareSysexSender*, double value) override { progress.push_back (value); }
    void firmwareStatusChanged (FirmwareSysexSender*, const juce::String& status) override { statuses.add (status); }
    int count (const juce::String& status) const { return (int) std::count (statuses.begin(), statuses.end(), status); }

    std::vector<double> progress;
    juce::StringArray statuses;
};

const Bytes request = bytesOf (DeviceMessages::firmwareUpdateRequest());
const Bytes image (EmbeddedData::firmwareImageContainer, EmbeddedData::firmwareImageContainer + EmbeddedData::firmwareImageContainerSize);

class FirmwareSysexSenderTest : public ::testing::Test
{
protected:
    FirmwareSysexSenderTest()
    {
        ports->plugOutput (outputName);
        manager->openOutputDevice (outputName);
    }

    void start (const Bytes& header = request, const Bytes& data = image)
    {
        sender.reset();
        transfer = std::make_unique<FirmwareSysexData> (juce::Array<juce::uint8> { header.data(), (int) header.size() },
                                                        juce::Array<juce::uint8> { data.data(), (int) data.size() }, 64, 10, outputName,
                                                        "Audio Application Firmware");
        sender = std::make_unique<FirmwareSysexSender> (*transfer, manager, &listener, clock);
        sender->start();
    }

    void tick (int numTicks = 1)
    {
        for (int i = 0; i < numTicks; ++i)
        {
            clock.advanceMs (10);
            sender->timerCallback();
        }
    }

    // The manager's poll notices what the system lists.
    void plug (bool plugged)
    {
        plugged ? ports->plugOutput (outputName) : ports->unplugOutput (outputName);
        manager->timerCallback();
    }

    std::vector<juce::MidiMessage> sent() const { return ports->sentTo (outputName); }

    // Everything sent after the request, joined.
    Bytes slicesReceived() const
    {
        Bytes joined;
        for (const auto& m : sent())
        {
            const auto bytes = bytesOf (m);
            joined.insert (joined.end(), bytes.begin(), bytes.end());
        }
        return { joined.begin() + (long) request.size(), joined.end() };
    }

    const juce::String outputName { "Kestrune Jack 1" };
    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr manager { new MidiManager (ports) };
    SimulatedClock clock;
    Recorder listener;
    std::unique_ptr<FirmwareSysexData> transfer;
    std::unique_ptr<FirmwareSysexSender> sender;
};
} // namespace

TEST_F (FirmwareSysexSenderTest, OpensTheOutputSendsTheRequestWaits8000MsThenStreamsTheWholeImage)
{
    manager->closeAllOutputDevices();
    start();
    EXPECT_TRUE (manager->isOutputDeviceOpen (outputName) && transfer->isActive());
    EXPECT_EQ (bytesOf (sent().at (0)), request);
    EXPECT_EQ (listener.statuses, juce::StringArray ("Started"));

    tick (799);
    EXPECT_EQ (listener.count ("Waiting For Device"), 799);
    EXPECT_TRUE (listener.progress.empty());
    tick();   // 8,000 ms: progress 0, still no slice in this tick
    EXPECT_EQ (listener.progress, std::vector<double> { 0.0 });
    EXPECT_EQ (sent().size(), 1u);

    const int listCallsBefore = ports->getNumListCalls();
    tick (1768);
    EXPECT_EQ (ports->getNumListCalls() - listCallsBefore, 1768) << "one look at the system's list per tick";
    ASSERT_EQ (sent().size(), 1u + 1768u);
    EXPECT_EQ (slicesReceived(), image);
    EXPECT_FALSE (transfer->isComplete());

    tick();
    EXPECT_TRUE (transfer->isComplete());
    EXPECT_FALSE (transfer->isActive());
    EXPECT_EQ (listener.statuses[listener.statuses.size() - 1], "Completed");
    std::vector<double> expected { 0.0 };
    for (int i = 0; i < 1768; ++i)
        expected.push_back ((double) i / 1768.0);
    expected.push_back (1.0);
    EXPECT_EQ (listener.progress, expected);

    tick();   // one that was already queued does nothing more
    EXPECT_EQ (listener.progress.size(), expected.size());
    EXPECT_EQ (sent().size(), 1u + 1768u);
}

TEST_F (FirmwareSysexSenderTest, TheWaitRunsAcrossTheCounterWrapACatchingUpTimerKeepsSlicesNineMsApartAndStopEndsIt)
{
    clock.advanceMs (0xFFFFFFFFu - 4000.0);   // 3 s before the counter wraps
    start();
    clock.advanceMs (7999u);
    sender->timerCallback();
    EXPECT_TRUE (listener.progress.empty());
    clock.advanceMs (1u);
    sender->timerCallback();
    EXPECT_EQ (listener.progress, std::vector<double> { 0.0 });

    // Tick intervals of a timer making up for late ticks, and whether each sends.
    for (const auto& [interval, sends] : { std::pair { 15u, true }, { 5u, false }, { 10u, true }, { 9u, true },
                                           { 8u, false }, { 12u, true }, { 3u, false }, { 7u, true } })
    {
        SCOPED_TRACE (interval);
        const auto before = sent().size();
        clock.advanceMs (interval);
        sender->timerCallback();
        EXPECT_EQ (sent().size() - before, sends ? 1u : 0u);
    }
    EXPECT_EQ (sender->getNextPacket(), 5u);

    const auto reports = listener.statuses.size();
    sender->stop();
    tick (1000);
    EXPECT_TRUE (listener.statuses.size() == reports && ! transfer->isActive()) << "stopped";
    start();
    EXPECT_EQ (bytesOf (sent().back()), request) << "a new sender starts from the request";
}

TEST_F (FirmwareSysexSenderTest, AMachineAwayDuringTheWaitOrBeforeTheRequestIsAskedAgainAndWaitedFor)
{
    // Away after 1 s of the wait for another 1 s or 9 s, or before the start.
    for (const int awayTicks : { 100, 900, 0 })
    {
        SCOPED_TRACE (awayTicks);
        ports->clearSent();
        listener = Recorder();
        plug (awayTicks > 0);
        start();
        tick (awayTicks > 0 ? 100 : 0);
        plug (false);
        tick (awayTicks);
        EXPECT_EQ (listener.count ("Device Offline"), awayTicks);

        plug (true);
        tick();
        ASSERT_EQ (sent().size(), awayTicks > 0 ? 2u : 1u);
        EXPECT_EQ (bytesOf (sent().back()), request);
        tick (799);
        EXPECT_TRUE (listener.progress.empty());
        tick (2);
        EXPECT_EQ (listener.progress, (std::vector<double> { 0.0, 0.0 }));
        EXPECT_EQ (bytesOf (sent().back()), Bytes (image.begin(), image.begin() + 64));
    }
}

// Lost at slice 500: unplugged, or listed throughout while its JACK
// connection was dropped (the port went and came back between two polls).
TEST_F (FirmwareSysexSenderTest, AnOutputLostAtSlice500ResumesWithSlice500OnceReopenedAndARefusedSliceIsSentAgain)
{
    for (const bool connectionDropped : { false, true })
    {
        SCOPED_TRACE (connectionDropped ? "connection dropped" : "unplugged");
        listener = {};
        ports->clearSent();
        start();
        tick (800 + 500);
        ASSERT_EQ (sender->getNextPacket(), 500u);
        const auto progressReports = listener.progress.size();

        if (connectionDropped)
        {
            ports->dropConnections (outputName);
            tick (200);
            manager->timerCallback();   // counts as gone: closed, to be opened and connected again
        }
        else
        {
            plug (false);
            tick (200);
            // Listed again, but until the manager's poll reopens it a slice would reach no port.
            ports->plugOutput (outputName);
        }
        tick();
        EXPECT_EQ (listener.progress.size(), progressReports);
        EXPECT_EQ (listener.count ("Device Offline"), 201);
        EXPECT_EQ (sender->getNextPacket(), 500u);

        manager->timerCallback();
        tick();
        EXPECT_EQ (sender->getNextPacket(), 501u);
        EXPECT_EQ (listener.progress.back(), 500.0 / 1768.0);

        ports->outputsRefuse = true;   // its buffer full for a while
        tick (3);
        EXPECT_EQ (sender->getNextPacket(), 501u);
        ports->outputsRefuse = false;
        tick (1268);
        EXPECT_TRUE (transfer->isComplete());
        EXPECT_EQ (slicesReceived(), image);
    }
}

TEST_F (FirmwareSysexSenderTest, NoRequestMeansNoWaitAndNoImageCompletesAtOnce)
{
    start ({}, { 1, 2, 3 });
    Recorder engine;   // a second listener, added twice, hears each report once
    sender->addListener (&engine);
    sender->addListener (&engine);
    sender->addListener (nullptr);
    EXPECT_TRUE (sent().empty());
    tick (2);
    ASSERT_EQ (sent().size(), 1u);
    EXPECT_EQ (bytesOf (sent()[0]), Bytes ({ 1, 2, 3 }));
    EXPECT_EQ (listener.progress, (std::vector<double> { 0.0, 1.0 }));
    EXPECT_EQ (listener.statuses, juce::StringArray ("Started", "Completed"));
    EXPECT_EQ (engine.progress, listener.progress);
    EXPECT_EQ (engine.statuses, juce::StringArray ("Completed"));

    listener = Recorder();
    start (request, {});
    tick (801);
    EXPECT_EQ (listener.progress, (std::vector<double> { 0.0, 1.0 }));
    EXPECT_TRUE (transfer->isComplete());
    EXPECT_EQ (sent().size(), 2u);
}

#include "EmbeddedData.h"
#include "firmware/FirmwareSysexSender.h"
#include "midi/DeviceMessages.h"
#include "support/FakeMidiPortSystem.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
class ManualClock : public MillisecondClock
{
public:
    juce::uint32 getMillisecondCounter() const override { return now; }
    juce::uint32 now = 1000;
};

class RecordingListener : public FirmwareSysexSender::Listener
{
public:
    explicit RecordingListener (juce::String nameToUse = {}, juce::StringArray* sharedLog = nullptr)
        : name (std::move (nameToUse)), order (sharedLog)
    {
    }

    void firmwareProgressChanged (FirmwareSysexSender*, double value) override
    {
        progress.push_back (value);
        if (order != nullptr)
            order->add (name + " progress");
    }

    void firmwareStatusChanged (FirmwareSysexSender*, const juce::String& status) override
    {
        statuses.add (status);
        if (order != nullptr)
            order->add (name + " " + status);
    }

    int count (const juce::String& status) const
    {
        int n = 0;
        for (auto& s : statuses)
            n += s == status ? 1 : 0;
        return n;
    }

    juce::String name;
    juce::StringArray* order;
    std::vector<double> progress;
    juce::StringArray statuses;
};

juce::Array<juce::uint8> bytesOf (const juce::MidiMessage& message)
{
    return juce::Array<juce::uint8> (message.getRawData(), message.getRawDataSize());
}

juce::Array<juce::uint8> embeddedImage()
{
    return juce::Array<juce::uint8> (reinterpret_cast<const juce::uint8*> (EmbeddedData::firmwareImageContainer),
                                     EmbeddedData::firmwareImageContainerSize);
}

class FirmwareSysexSenderTest : public ::testing::Test
{
protected:
    FirmwareSysexSenderTest()
    {
        ports->plugOutput (outputName);
        manager->openOutputDevice (outputName);
    }

    ~FirmwareSysexSenderTest() override { sender.reset(); }

    void startTransfer (const juce::Array<juce::uint8>& header, const juce::Array<juce::uint8>& image)
    {
        data = std::make_unique<FirmwareSysexData> (header, image, 64, 10, outputName, "Audio Application Firmware");
        sender = std::make_unique<FirmwareSysexSender> (*data, manager, &listener, clock);
        sender->start();
    }

    void startEmbeddedTransfer() { startTransfer (bytesOf (DeviceMessages::firmwareUpdateRequest()), embeddedImage()); }

    // One timer period later.
    void tick (int numTicks = 1)
    {
        for (int i = 0; i < numTicks; ++i)
        {
            clock.now += 10;
            sender->timerCallback();
        }
    }

    void unplug()
    {
        ports->unplugOutput (outputName);
        manager->timerCallback(); // the manager's poll closes the vanished port
    }

    std::vector<juce::MidiMessage> sent() const { return ports->sentTo (outputName); }

    // Everything sent after the header, joined.
    juce::Array<juce::uint8> slicesReceived() const
    {
        const auto messages = sent();
        juce::Array<juce::uint8> joined;
        for (size_t i = 1; i < messages.size(); ++i)
            joined.addArray (bytesOf (messages[i]));
        return joined;
    }

    const juce::String outputName { "Kestrune Jack 1" };
    std::shared_ptr<FakeMidiPortSystem> ports = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr manager { new MidiManager (ports) };
    ManualClock clock;
    RecordingListener listener;
    std::unique_ptr<FirmwareSysexData> data;
    std::unique_ptr<FirmwareSysexSender> sender;
};
} // namespace

TEST_F (FirmwareSysexSenderTest, SendsRequestWaits8000MsThenStreamsTheWholeImage)
{
    startEmbeddedTransfer();
    const auto request = bytesOf (DeviceMessages::firmwareUpdateRequest());
    ASSERT_EQ (sent().size(), 1u);
    EXPECT_EQ (bytesOf (sent()[0]), request);
    EXPECT_EQ (listener.statuses, juce::StringArray ("Started"));
    EXPECT_TRUE (data->isActive());

    // 7,990 ms: still waiting, nothing sent.
    tick (799);
    EXPECT_EQ (listener.count ("Waiting For Device"), 799);
    EXPECT_TRUE (listener.progress.empty());
    EXPECT_EQ (sent().size(), 1u);

    // 8,000 ms: the wait is over, progress 0 and still no slice in this tick.
    tick();
    EXPECT_EQ (listener.progress, std::vector<double> { 0.0 });
    EXPECT_EQ (sent().size(), 1u);

    const int listCallsBefore = ports->getNumListCalls();
    tick (1768);
    EXPECT_EQ (ports->getNumListCalls() - listCallsBefore, 1768) << "one look at the system's list per tick";
    ASSERT_EQ (sent().size(), 1u + 1768u);
    EXPECT_EQ (juce::Array<juce::uint8> (bytesOf (sent()[1]).begin(), 8), request);
    EXPECT_EQ (sent().back().getRawDataSize(), 46);
    EXPECT_EQ (slicesReceived(), embeddedImage());
    EXPECT_FALSE (data->isComplete());
    EXPECT_EQ (listener.statuses.size(), 800);

    tick();
    EXPECT_TRUE (data->isComplete());
    EXPECT_FALSE (data->isActive());
    EXPECT_EQ (listener.statuses[listener.statuses.size() - 1], "Completed");
    EXPECT_FALSE (sender->isTimerRunning());

    std::vector<double> expected { 0.0 };
    for (int i = 0; i < 1768; ++i)
        expected.push_back ((double) i / 1768.0);
    expected.push_back (1.0);
    EXPECT_EQ (listener.progress, expected);

    // A tick that was already queued does nothing more.
    tick();
    EXPECT_EQ (listener.progress.size(), expected.size());
    EXPECT_EQ (sent().size(), 1u + 1768u);
}

TEST_F (FirmwareSysexSenderTest, WaitIsMeasuredAcrossTheCounterWrap)
{
    clock.now = 0xFFFFFFFFu - 3000u;
    startEmbeddedTransfer();
    const auto headerSentAt = clock.now;

    clock.now = headerSentAt + 7999u; // wrapped past zero
    sender->timerCallback();
    EXPECT_EQ (listener.count ("Waiting For Device"), 1);
    EXPECT_TRUE (listener.progress.empty());

    clock.now = headerSentAt + 8000u;
    sender->timerCallback();
    EXPECT_EQ (listener.progress, std::vector<double> { 0.0 });
}

TEST_F (FirmwareSysexSenderTest, ATimerCatchingUpNeverBringsTwoSlicesCloserThanNineMilliseconds)
{
    startEmbeddedTransfer();
    tick (800);   // the wait
    // Tick intervals of a timer making up for late ticks, and whether each sends.
    const std::vector<std::pair<juce::uint32, bool>> ticks {
        { 15, true }, { 5, false }, { 10, true }, { 9, true }, { 8, false }, { 12, true }, { 3, false }, { 7, true }
    };
    for (const auto& [interval, sends] : ticks)
    {
        SCOPED_TRACE (interval);
        const auto before = sent().size();
        clock.now += interval;
        sender->timerCallback();
        EXPECT_EQ (sent().size() - before, sends ? 1u : 0u);
    }
    EXPECT_EQ (sender->getNextPacket(), 5u);
}

TEST_F (FirmwareSysexSenderTest, AMachineBackDuringOrAfterTheWaitIsAskedAgainAndWaitedFor)
{
    // Unplugged after 1 s of the wait and back after another 1 s or 9 s: in
    // both cases it gets the request again and a whole new wait.
    for (const int awayTicks : { 100, 900 })
    {
        SCOPED_TRACE (awayTicks);
        ports->clearSent();
        listener = RecordingListener();
        startEmbeddedTransfer();
        tick (100);
        unplug();
        tick (awayTicks);
        EXPECT_EQ (listener.count ("Device Offline"), awayTicks);
        EXPECT_EQ (sent().size(), 1u);

        ports->plugOutput (outputName);
        manager->timerCallback();
        tick();
        ASSERT_EQ (sent().size(), 2u);
        EXPECT_EQ (bytesOf (sent()[1]), bytesOf (DeviceMessages::firmwareUpdateRequest()));
        tick (799);
        EXPECT_TRUE (listener.progress.empty());
        tick();
        EXPECT_EQ (listener.progress, std::vector<double> { 0.0 });
        tick();
        EXPECT_EQ (sent().size(), 3u);
        EXPECT_EQ (bytesOf (sent()[2]), juce::Array<juce::uint8> (embeddedImage().begin(), 64));
    }
}

TEST_F (FirmwareSysexSenderTest, ARequestThatReachedNoPortIsSentOnceTheOutputIsBack)
{
    unplug();
    startEmbeddedTransfer();
    EXPECT_TRUE (sent().empty());
    ports->plugOutput (outputName);
    manager->timerCallback();
    tick();
    ASSERT_EQ (sent().size(), 1u);
    tick (800);
    EXPECT_EQ (listener.progress, std::vector<double> { 0.0 });
}

TEST_F (FirmwareSysexSenderTest, UnplugAtSlice500ResumesWithSlice500AndNoSliceIsLost)
{
    startEmbeddedTransfer();
    tick (800 + 500);
    ASSERT_EQ (sender->getNextPacket(), 500u);
    const auto progressReports = listener.progress.size();

    unplug();
    tick (200); // 2 s
    EXPECT_EQ (listener.count ("Device Offline"), 200);
    EXPECT_EQ (sender->getNextPacket(), 500u);
    EXPECT_EQ (listener.progress.size(), progressReports);

    // Listed again, but the manager's poll has not reopened it yet: a slice
    // sent now would reach no port.
    ports->plugOutput (outputName);
    tick();
    EXPECT_EQ (listener.count ("Device Offline"), 201);
    EXPECT_EQ (sender->getNextPacket(), 500u);

    manager->timerCallback();
    tick();
    EXPECT_EQ (sender->getNextPacket(), 501u);
    EXPECT_EQ (listener.progress.back(), 500.0 / 1768.0);
    EXPECT_EQ (bytesOf (sent().back()), juce::Array<juce::uint8> (embeddedImage().begin() + 500 * 64, 64));

    // A port that refuses slices for a while: each is sent again, none lost.
    ports->outputsRefuse = true;
    tick (3);
    EXPECT_EQ (sender->getNextPacket(), 501u);
    ports->outputsRefuse = false;

    tick (1268);
    EXPECT_TRUE (data->isComplete());
    EXPECT_EQ (slicesReceived(), embeddedImage());
}

TEST_F (FirmwareSysexSenderTest, StopEndsReportsAndANewSenderStartsFromTheHeader)
{
    startEmbeddedTransfer();
    tick (10);
    const auto reports = listener.statuses.size();
    sender->stop();
    EXPECT_FALSE (data->isActive());
    EXPECT_FALSE (sender->isTimerRunning());
    tick (1000);
    EXPECT_EQ (listener.statuses.size(), reports);
    EXPECT_TRUE (listener.progress.empty());

    sender.reset();
    startEmbeddedTransfer();
    ASSERT_EQ (sent().size(), 2u);
    EXPECT_EQ (bytesOf (sent()[1]), bytesOf (DeviceMessages::firmwareUpdateRequest()));
    tick();
    EXPECT_EQ (listener.statuses[listener.statuses.size() - 1], "Waiting For Device");
}

TEST_F (FirmwareSysexSenderTest, EmptyHeaderMeansNoWait)
{
    startTransfer ({}, { 1, 2, 3 });
    EXPECT_TRUE (sent().empty());
    EXPECT_FALSE (sender->isWaitingForDevice());
    tick();
    ASSERT_EQ (sent().size(), 1u);
    EXPECT_EQ (bytesOf (sent()[0]), juce::Array<juce::uint8> ({ 1, 2, 3 }));
    tick();
    EXPECT_EQ (listener.progress, (std::vector<double> { 0.0, 1.0 }));
    EXPECT_EQ (listener.statuses, juce::StringArray ("Started", "Completed"));
}

TEST_F (FirmwareSysexSenderTest, EmptyImageCompletesOnTheFirstTickAfterTheWait)
{
    startTransfer (bytesOf (DeviceMessages::firmwareUpdateRequest()), {});
    tick (800);
    EXPECT_EQ (listener.progress, std::vector<double> { 0.0 });
    tick();
    EXPECT_EQ (listener.progress, (std::vector<double> { 0.0, 1.0 }));
    EXPECT_EQ (listener.statuses[listener.statuses.size() - 1], "Completed");
    EXPECT_TRUE (data->isComplete());
    EXPECT_EQ (sent().size(), 1u);
}

TEST_F (FirmwareSysexSenderTest, StartOpensTheOutputFirst)
{
    manager->closeAllOutputDevices();
    startEmbeddedTransfer();
    EXPECT_TRUE (manager->isOutputDeviceOpen (outputName));
    EXPECT_EQ (sent().size(), 1u);
}

TEST_F (FirmwareSysexSenderTest, MostRecentlyAddedListenerHearsFirstAndEachHearsOnce)
{
    juce::StringArray order;
    RecordingListener window ("window", &order), engine ("engine", &order);
    data = std::make_unique<FirmwareSysexData> (juce::Array<juce::uint8>(), juce::Array<juce::uint8> { 1 }, 64, 10,
                                                outputName, "Audio Application Firmware");
    sender = std::make_unique<FirmwareSysexSender> (*data, manager, &window, clock);
    sender->addListener (&engine);
    sender->addListener (&window);
    sender->addListener (nullptr);
    sender->start();
    tick (2);

    EXPECT_EQ (order, juce::StringArray ({ "engine Started", "window Started", "engine progress", "window progress",
                                           "engine progress", "window progress", "engine Completed",
                                           "window Completed" }));
}

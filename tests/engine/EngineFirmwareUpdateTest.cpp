#include "EngineTestSupport.h"

#include "EmbeddedData.h"
#include "midi/DeviceMessages.h"

#include <gtest/gtest.h>

using namespace enginetest;

namespace
{
struct SenderSpy : FirmwareSysexSender::Listener
{
    void firmwareProgressChanged (FirmwareSysexSender*, double p) override { progress = p; }
    void firmwareStatusChanged (FirmwareSysexSender* s, const juce::String& status) override
    {
        sender = s;
        statuses.add (status);
    }

    FirmwareSysexSender* sender = nullptr;
    juce::StringArray statuses;
    double progress = -1.0;
};

struct EngineFirmwareUpdateTest : ::testing::Test
{
    FakeRig rig;
    SenderSpy spy;
};
} // namespace

TEST_F (EngineFirmwareUpdateTest, RefusedUnlessExactlyOneOutputIsOpenButPollingStops)
{
    rig.ports->plugOutput ("Second");
    rig.midi->openOutputDevice ("Second");
    EXPECT_FALSE (rig.engine->startFirmwareUpdate (&spy));
    EXPECT_FALSE (rig.engine->isFirmwareQueryRunning());
    EXPECT_FALSE (rig.engine->isUpdatingFirmware());

    rig.midi->closeAllOutputDevices();
    rig.engine->queryFirmwareVersion();
    EXPECT_FALSE (rig.engine->startFirmwareUpdate (&spy));
    EXPECT_FALSE (rig.engine->isFirmwareQueryRunning());
    EXPECT_TRUE (spy.statuses.isEmpty());
}

TEST_F (EngineFirmwareUpdateTest, StreamsTheEmbeddedImageAndResumesPollingOnCompletion)
{
    ASSERT_TRUE (rig.engine->startFirmwareUpdate (&spy));
    EXPECT_TRUE (rig.engine->isUpdatingFirmware());
    EXPECT_FALSE (rig.engine->isFirmwareQueryRunning());
    EXPECT_FALSE (rig.engine->hasTuningResults());
    ASSERT_NE (spy.sender, nullptr);
    EXPECT_EQ (spy.statuses, juce::StringArray ("Started"));

    rig.clock.advanceMs (8000);
    for (int i = 0; i < 5000 && rig.engine->isUpdatingFirmware(); ++i)
        spy.sender->timerCallback();

    EXPECT_FALSE (rig.engine->isUpdatingFirmware());
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
    EXPECT_EQ (spy.statuses[spy.statuses.size() - 1], "Completed");
    EXPECT_EQ (spy.progress, 1.0);

    // The update request, then the first 113,134 bytes of the image in 64-byte slices.
    const auto sent = rig.ports->sentTo (portName);
    ASSERT_EQ (sent.size(), 1u + 1768u);
    EXPECT_EQ (describe (sent[0]), "update");
    juce::MemoryOutputStream streamed;
    for (size_t i = 1; i < sent.size(); ++i)
        streamed.write (sent[i].getRawData(), (size_t) sent[i].getRawDataSize());
    ASSERT_EQ (streamed.getDataSize(), 113134u);
    EXPECT_EQ (std::memcmp (streamed.getData(), EmbeddedData::firmwareImageContainer, 113134), 0);
    EXPECT_EQ (sent.back().getRawDataSize(), 46);
}

TEST_F (EngineFirmwareUpdateTest, CancelStopsAndDropsTheTransfer)
{
    ASSERT_TRUE (rig.engine->startFirmwareUpdate (&spy));
    rig.engine->cancelFirmwareUpdate();
    EXPECT_FALSE (rig.engine->isUpdatingFirmware());
    rig.engine->cancelFirmwareUpdate();

    // A new transfer replaces nothing that is still referenced.
    ASSERT_TRUE (rig.engine->startFirmwareUpdate (&spy));
    EXPECT_TRUE (rig.engine->isUpdatingFirmware());
}

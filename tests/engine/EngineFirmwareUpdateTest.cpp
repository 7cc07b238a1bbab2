#include "EngineTestSupport.h"

#include "EmbeddedData.h"
#include "midi/DeviceMessages.h"
#include "ui/MainWindowComponent.h"

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

// The main window with its message boxes recorded instead of shown.
struct QuietMainWindowComponent : MainWindowComponent
{
    using MainWindowComponent::MainWindowComponent;
    int boxes = 0;
    void showMessageBox (juce::MessageBoxIconType, const juce::String&, const juce::String&, const juce::String&) override
    {
        ++boxes;
    }
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
    {
        rig.clock.advanceMs (10);
        spy.sender->timerCallback();
    }

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

TEST_F (EngineFirmwareUpdateTest, NothingButTheImageGoesOutFromTheRequestToTheLastSlice)
{
    rig.replyVersion (0, 1, 0, 4);   // a calibration would be allowed otherwise
    QuietMainWindowComponent mainWindow (rig.engine, nullptr);
    juce::Button* startButton = nullptr;
    for (auto* child : mainWindow.getChildren())
        if (child->getName() == "Start Tuning Calibration Button")
            startButton = dynamic_cast<juce::Button*> (child);
    ASSERT_NE (startButton, nullptr);
    rig.ports->clearSent();

    // The start button, the engine's own operations and its tick, all refused.
    const auto tryToCalibrate = [&] {
        mainWindow.buttonClicked (startButton);
        EXPECT_FALSE (rig.engine->startTuningCalibration());
        EXPECT_FALSE (rig.engine->beginTuningRun());
        rig.tick (20);
        EXPECT_FALSE (rig.engine->isFirmwareQueryRunning());
        EXPECT_FALSE (rig.engine->isCalibrating());
    };

    ASSERT_TRUE (rig.engine->startFirmwareUpdate (&spy));
    tryToCalibrate();                        // waiting for the machine
    rig.clock.advanceMs (8000);
    for (int i = 0; i < 5000 && rig.engine->isUpdatingFirmware(); ++i)
    {
        rig.clock.advanceMs (10);
        spy.sender->timerCallback();
        if (i == 1 || i == 1000 || i == 1768)   // first slice, streaming, last slice
            tryToCalibrate();
    }
    EXPECT_EQ (mainWindow.boxes, 0);

    const auto sent = rig.ports->sentTo (portName);
    ASSERT_EQ (sent.size(), 1u + 1768u);
    EXPECT_EQ (describe (sent[0]), "update");
    juce::MemoryOutputStream streamed;
    for (size_t i = 1; i < sent.size(); ++i)
        streamed.write (sent[i].getRawData(), (size_t) sent[i].getRawDataSize());
    ASSERT_EQ (streamed.getDataSize(), 113134u);
    EXPECT_EQ (std::memcmp (streamed.getData(), EmbeddedData::firmwareImageContainer, 113134), 0);
}

TEST_F (EngineFirmwareUpdateTest, RefusedWhileACalibrationListensOrRuns)
{
    rig.startListening();
    rig.replyAll (24, 63, [] (int note) { return (juce::uint16) (1000 + note); });
    for (const bool run : { false, true })
    {
        SCOPED_TRACE (run);
        if (run)
        {
            ASSERT_TRUE (rig.engine->beginTuningRun());
        }
        rig.ports->clearSent();
        EXPECT_FALSE (rig.engine->startFirmwareUpdate (&spy));
        EXPECT_FALSE (rig.engine->isUpdatingFirmware());
        EXPECT_TRUE (rig.ports->sentTo (portName).empty());
    }
    rig.engine->abortTuning();
    EXPECT_TRUE (rig.engine->startFirmwareUpdate (&spy));
}

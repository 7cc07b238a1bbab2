#include "EngineTestSupport.h"

#include "EmbeddedData.h"

#include <gtest/gtest.h>

using namespace enginetest;

TEST (EngineFirmwareUpdate, OnlyTheImageGoesOutToTheOneOpenOutputAndNoCalibrationMeanwhile)
{
    struct SenderSpy : FirmwareSysexSender::Listener
    {
        void firmwareProgressChanged (FirmwareSysexSender*, double) override {}
        void firmwareStatusChanged (FirmwareSysexSender* s, const juce::String& text) override { sender = s, status = text; }
        FirmwareSysexSender* sender = nullptr;
        juce::String status;
    } spy;
    FakeRig rig;
    rig.replyVersion (0, 1, 0, 4);   // a calibration would be allowed otherwise
    rig.ports->plugOutput ("Second");
    rig.midi->openOutputDevice ("Second");
    EXPECT_FALSE (rig.engine->startFirmwareUpdate (&spy)) << "two outputs";
    rig.midi->closeAllOutputDevices();
    EXPECT_FALSE (rig.engine->startFirmwareUpdate (&spy)) << "no output";
    rig.midi->openOutputDevice (portName);
    ASSERT_TRUE (rig.engine->startFirmwareUpdate (&spy));

    const auto tryToCalibrate = [&] {   // and tick, as the poll for the version would
        EXPECT_FALSE (rig.engine->startTuningCalibration());
        EXPECT_FALSE (rig.engine->beginTuningRun());
        rig.tick (20);
    };
    tryToCalibrate();   // waiting for the machine
    rig.clock.advanceMs (8000);
    for (int i = 0; i < 5000 && rig.engine->isUpdatingFirmware(); ++i)
    {
        rig.clock.advanceMs (10);
        spy.sender->timerCallback();
        if (i == 1 || i == 1000 || i == 1768)   // first slice, streaming, last slice
            tryToCalibrate();
    }
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
    EXPECT_EQ (spy.status, "Completed");

    // The update request, then the first 113,134 bytes of the image in 64-byte slices.
    const auto sent = rig.ports->sentTo (portName);
    ASSERT_EQ (sent.size(), 1u + 1768u);
    EXPECT_EQ (describe (sent[0]), "update");
    EXPECT_TRUE (rig.ports->sentTo ("Second").empty());
    juce::MemoryOutputStream streamed;
    for (size_t i = 1; i < sent.size(); ++i)
        streamed.write (sent[i].getRawData(), (size_t) sent[i].getRawDataSize());
    ASSERT_EQ (streamed.getDataSize(), 113134u);
    EXPECT_EQ (std::memcmp (streamed.getData(), EmbeddedData::firmwareImageContainer, 113134), 0);
}

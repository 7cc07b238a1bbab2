#include "EngineTestSupport.h"

#include "EmbeddedData.h"

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
} // namespace

TEST (EngineFirmwareUpdate, RefusedUnlessOneOutputIsOpenAndNoCalibrationListensOrRuns)
{
    struct Case
    {
        const char* name;
        std::function<void (FakeRig&)> setUp;
        bool polls;   // a refusal for the ports stops the version poll all the same
    };
    const std::vector<Case> cases {
        { "two outputs", [] (FakeRig& r) { r.ports->plugOutput ("Second"), r.midi->openOutputDevice ("Second"); }, false },
        { "no output", [] (FakeRig& r) { r.midi->closeAllOutputDevices(); }, false },
        { "listening", [] (FakeRig& r) { r.startListening(), r.replyAll (24, 63, [] (int n) { return (juce::uint16) n; }); }, true },
        { "running",
          [] (FakeRig& r) {
              r.startListening();
              r.replyAll (24, 63, [] (int n) { return (juce::uint16) n; });
              ASSERT_TRUE (r.engine->beginTuningRun());
          },
          true },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        FakeRig rig;
        SenderSpy spy;
        c.setUp (rig);
        rig.ports->clearSent();
        EXPECT_FALSE (rig.engine->startFirmwareUpdate (&spy));
        EXPECT_FALSE (rig.engine->isUpdatingFirmware());
        EXPECT_TRUE (spy.statuses.isEmpty());
        EXPECT_TRUE (rig.ports->allSent().empty());
        EXPECT_EQ (rig.engine->isFirmwareQueryRunning(), c.polls);
    }
}

TEST (EngineFirmwareUpdate, NothingButTheImageGoesOutAndPollingResumesOnCompletion)
{
    FakeRig rig;
    SenderSpy spy;
    rig.replyVersion (0, 1, 0, 4);   // a calibration would be allowed otherwise
    ASSERT_TRUE (rig.engine->startFirmwareUpdate (&spy));
    rig.engine->cancelFirmwareUpdate();
    EXPECT_FALSE (rig.engine->isUpdatingFirmware());
    rig.ports->clearSent();

    ASSERT_TRUE (rig.engine->startFirmwareUpdate (&spy));
    EXPECT_EQ (spy.statuses, juce::StringArray ("Started", "Started"));
    const auto tryToCalibrate = [&] {
        EXPECT_FALSE (rig.engine->startTuningCalibration());
        EXPECT_FALSE (rig.engine->beginTuningRun());
        rig.tick (20);
        EXPECT_FALSE (rig.engine->isFirmwareQueryRunning());
        EXPECT_FALSE (rig.engine->isCalibrating());
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
}

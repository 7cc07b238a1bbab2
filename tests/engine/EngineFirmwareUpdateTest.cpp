#include "EmbeddedData.h"
#include "support/FakeRig.h"
#include "support/FirmwareStreaming.h"
#include "support/SimRig.h"

#include <gtest/gtest.h>

using namespace enginetest;
using Verdict = FirmwareTransfer::Verdict;

namespace
{
struct VerdictListener : RecordingStatusListener
{
    void firmwareUpdateVerdict (Verdict v) override { verdicts.push_back (v); }
    std::vector<Verdict> verdicts;
};

// Every command that talks to the machine, each refused while an update runs.
void expectEveryCommandRefused (FakeRig& rig)
{
    const std::array<juce::uint16, TuneKestruneEngine::numNotes> table {};
    firmwaretest::SenderSpy other;
    const std::vector<std::pair<const char*, std::function<bool()>>> commands {
        { "calibrate", [&] { return rig.engine->startTuningCalibration(); } },
        { "continue", [&] { return rig.engine->beginTuningRun(); } },
        { "restore default", [&] { return rig.engine->restoreDefaultCalibration(); } },
        { "read for load", [&] { return rig.engine->readCalibration ([] (auto) {}); } },
        { "load", [&] { return rig.engine->loadCalibration (table); } },
        { "undo", [&] { return rig.engine->undoTuningAndStore(); } },
        { "check tuning", [&] { return rig.engine->startTuningCheck (nullptr); } },
        { "another update", [&] { return rig.engine->startFirmwareUpdate (&other); } },
    };
    const auto sentBefore = rig.ports->allSent().size();
    for (auto& [name, command] : commands)
    {
        EXPECT_FALSE (command()) << name;
        EXPECT_TRUE (rig.engine->isBusy()) << name;
    }
    rig.tick (20);
    const auto sent = rig.ports->allSent();
    EXPECT_EQ (describeAll ({ sent.begin() + (long) sentBefore, sent.end() }), std::vector<std::string>())
        << "nothing but identity requests";
}
} // namespace

TEST (EngineFirmwareUpdate, OnlyTheImageGoesOutToTheOneOpenOutputAndEveryCommandWaitsForTheVerdict)
{
    firmwaretest::SenderSpy spy;
    FakeRig rig;
    rig.replyVersion (0, 1, 0, 4);   // a calibration would be allowed otherwise
    rig.ports->plugOutput ("Second");
    rig.midi->openOutputDevice ("Second");
    EXPECT_FALSE (rig.engine->startFirmwareUpdate (&spy)) << "two outputs";
    rig.midi->closeAllOutputDevices();
    EXPECT_FALSE (rig.engine->startFirmwareUpdate (&spy)) << "no output";
    rig.midi->openOutputDevice (portName);
    ASSERT_TRUE (rig.engine->startFirmwareUpdate (&spy));

    expectEveryCommandRefused (rig);   // waiting for the machine
    firmwaretest::streamImage (rig.clock, *rig.engine, *spy.sender, [&] (int i) {
        if (i == 1000)
            expectEveryCommandRefused (rig);
    });
    EXPECT_EQ (spy.status, "Completed");
    EXPECT_TRUE (rig.engine->isFirmwareQueryRunning());
    ASSERT_TRUE (rig.engine->isWaitingForFirmwareVerdict());
    expectEveryCommandRefused (rig);   // the machine may be applying the image

    // The update request, then the image in 64-byte slices.
    const auto sent = rig.ports->sentTo (portName);
    const auto slices = (size_t) (FirmwareTransfer::imageSize + 63) / 64;
    ASSERT_GE (sent.size(), 1u + slices);
    EXPECT_EQ (describe (sent[0]), "update");
    EXPECT_TRUE (rig.ports->sentTo ("Second").empty());
    juce::MemoryOutputStream streamed;
    for (size_t i = 1; i <= slices; ++i)
        streamed.write (sent[i].getRawData(), (size_t) sent[i].getRawDataSize());
    ASSERT_EQ (streamed.getDataSize(), (size_t) FirmwareTransfer::imageSize);
    EXPECT_EQ (std::memcmp (streamed.getData(), EmbeddedData::firmwareImageContainer, (size_t) FirmwareTransfer::imageSize), 0);

    rig.engine->cancelFirmwareUpdate();
    EXPECT_FALSE (rig.engine->isBusy());
}

// After the last slice, what the machine shows decides; the wait has no end of its own.
TEST (EngineFirmwareUpdate, CompleteOnlyOnceTheMachineLeftItsOldFirmwareNotAcceptedOnlyOnItsLoaderOrAnOldVersion)
{
    struct Case
    {
        const char* name;
        juce::uint8 before;            // minor version before the update
        std::vector<const char*> after;   // "5" a reply of 1.05, "wait 45" seconds of the old reply, "restart" ports away and back
        Verdict verdict;
        juce::uint32 waitedMs;
    };
    const Case cases[] {
        { "current machine, stream lost", 5, { "5", "wait 600", "5" }, Verdict::sameVersion, 601000 },
        { "Play pressed late", 4, { "4", "wait 45", "5" }, Verdict::complete, 46000 },
        { "current machine restarted", 5, { "5", "restart", "5" }, Verdict::complete, 1000 },
        { "boot loader after a reset", 4, { "restart", "0" }, Verdict::notAccepted, 500 },
        { "old version after a reset", 4, { "4", "restart", "4" }, Verdict::notAccepted, 1000 },
        { "boot loader", 5, { "0" }, Verdict::notAccepted, 500 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        FakeRig rig;
        VerdictListener verdicts;
        rig.engine->addStatusListener (&verdicts);
        rig.replyVersion (0, 1, 0, c.before);
        firmwaretest::SenderSpy spy;
        ASSERT_TRUE (rig.engine->startFirmwareUpdate (&spy));
        firmwaretest::streamImage (rig.clock, *rig.engine, *spy.sender);
        const auto reply = [&] (juce::uint8 minor) {
            rig.replyVersion (0, minor > 0, 0, minor);
            rig.tick();
        };
        for (const juce::String step : c.after)
        {
            if (step.startsWith ("wait"))
                for (int ms = 0; ms < step.getTrailingIntValue() * 1000; ms += 500)
                    rig.clock.advanceMs (500), reply (c.before);
            else if (step == "restart")
            {
                rig.ports->unplugInput (portName), rig.ports->unplugOutput (portName);
                rig.midi->timerCallback();
                rig.tick();
                rig.ports->plugInput (portName), rig.ports->plugOutput (portName);
                rig.midi->timerCallback();
                rig.tick();
            }
            else
                rig.clock.advanceMs (500), reply ((juce::uint8) step.getIntValue());
        }
        ASSERT_FALSE (verdicts.verdicts.empty());
        EXPECT_EQ (verdicts.verdicts.front(), Verdict::waiting);
        EXPECT_EQ (verdicts.verdicts.back(), c.verdict);
        EXPECT_EQ (std::count (verdicts.verdicts.begin(), verdicts.verdicts.end(), Verdict::complete),
                   c.verdict == Verdict::complete ? 1 : 0);
        // Only a verdict ends the wait; the machine is asked meanwhile.
        const bool decided = c.verdict == Verdict::complete || c.verdict == Verdict::notAccepted;
        EXPECT_EQ (rig.engine->isUpdatingFirmware(), ! decided);
        EXPECT_EQ (rig.engine->getFirmwareWaitMs(), c.waitedMs);   // until the verdict, or still going on
        rig.clock.advanceMs (1000);
        EXPECT_EQ (rig.engine->getFirmwareWaitMs(), c.waitedMs + (decided ? 0 : 1000));
        EXPECT_TRUE (decided || rig.engine->isFirmwareQueryRunning());
        rig.engine->removeStatusListener (&verdicts);
    }
}

// The virtual machine takes the whole image either way; only the one that had
// older firmware can show that it did.
TEST (EngineFirmwareUpdate, TheVirtualMachineTakesTheImageAndOnlyAVersionChangeProvesIt)
{
    for (const auto* version : { "1.04", "1.05" })
    {
        SCOPED_TRACE (version);
        VirtualKestrune::Options options;
        options.firmwareVersion = version;
        SimRig rig (options);
        VerdictListener verdicts;
        rig.engine->addStatusListener (&verdicts);
        rig.midi->sendMessageToAllOutputs (DeviceMessages::identityRequest());
        firmwaretest::SenderSpy spy;
        ASSERT_TRUE (rig.engine->startFirmwareUpdate (&spy));
        firmwaretest::streamImage (rig.clock, *rig.engine, *spy.sender);
        ASSERT_TRUE (rig.machine->getLastFirmwareReport().has_value());
        EXPECT_EQ (rig.machine->getLastFirmwareReport()->status, FirmwareStreamChecker::Status::accepted);
        rig.midi->sendMessageToAllOutputs (DeviceMessages::identityRequest());
        rig.run (100);
        const bool wasOlder = juce::String (version) == "1.04";
        ASSERT_FALSE (verdicts.verdicts.empty());
        EXPECT_EQ (verdicts.verdicts.back(), wasOlder ? Verdict::complete : Verdict::sameVersion);
        EXPECT_EQ (rig.engine->isUpdatingFirmware(), ! wasOlder);
        rig.engine->removeStatusListener (&verdicts);
    }
}

#include "FirmwareImageBuilder.h"
#include "midi/DeviceMessages.h"
#include "sim/model/FirmwareStreamChecker.h"
#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"

#include <gtest/gtest.h>

namespace
{
using Bytes = std::vector<juce::uint8>;
using Status = FirmwareStreamChecker::Status;

FirmwareStreamChecker::Report check (const Bytes& stream)
{
    FirmwareStreamChecker checker;
    for (auto b : stream)
        if (checker.push (b) != Status::receiving)
            break;
    return checker.getReport();
}

double reportedVersion (VirtualKestrune& machine)
{
    const auto replies = machine.receive (DeviceMessages::identityRequest());
    return replies.size() == 1 ? DeviceMessages::parseIdentityReplyVersion (replies[0]).value_or (-1.0) : -1.0;
}

// Streams an image the way the utility does: the lone request, then the
// image (which starts with the request again) in slices.
void stream (VirtualKestrune& machine, const Bytes& image, size_t sliceSize, size_t upTo = SIZE_MAX)
{
    machine.receive (DeviceMessages::firmwareUpdateRequest());
    const auto end = std::min (upTo, image.size());
    for (size_t offset = 0; offset < end; offset += sliceSize)
        machine.receive (image.data() + offset, (int) std::min (sliceSize, end - offset));
}

struct Machine
{
    Machine()
    {
        VirtualKestrune::Options options;
        options.firmwareVersion = "1.00";
        options.firmwareVersionAfterUpdate = "1.05";
        machine = std::make_unique<VirtualKestrune> (options, clock);
        machine->setLogSink ([this] (const juce::String& line) { log.add (line); });
    }

    juce::String firmwareLines() const
    {
        juce::StringArray lines;
        for (const auto& line : log)
            if (line.startsWith ("FIRMWARE"))
                lines.add (line);
        return lines.joinIntoString ("\n");
    }

    SimulatedClock clock;
    std::unique_ptr<VirtualKestrune> machine;
    juce::StringArray log;
};
} // namespace

TEST (SimFirmware, BuilderMakesAnImageOfTheSizeTheUtilityCarries)
{
    const auto image = FirmwareImageBuilder::fullSizeImage();
    EXPECT_EQ (image.size(), 113134u);
    EXPECT_EQ (Bytes (image.begin() + 16, image.begin() + 20), (Bytes { 0xDA, 0xB9, 0x01, 0x00 }));
}

TEST (SimFirmware, AWholeValidImageIsAccepted)
{
    const auto report = check (FirmwareImageBuilder::fullSizeImage());
    EXPECT_EQ (report.status, Status::accepted);
    EXPECT_EQ (report.bytes, 113134);
    EXPECT_EQ (report.expectedBytes, 113134);
    EXPECT_EQ (report.records, 2572);
    EXPECT_TRUE (report.firstError.isEmpty()) << report.firstError;
}

TEST (SimFirmware, ABadChecksumRejectsTheImageButTheWholeStreamIsCounted)
{
    auto image = FirmwareImageBuilder::image (FirmwareImageBuilder::hexText (100));
    // Record 51 (1-based), a data record: its last checksum digit.
    const auto start = FirmwareImageBuilder::recordOffset (image, 50);
    auto& digit = image[start + 41];
    digit = (juce::uint8) (digit == '0' ? '1' : '0');

    const auto report = check (image);
    EXPECT_EQ (report.status, Status::rejected);
    EXPECT_EQ (report.bytes, (juce::int64) image.size());
    EXPECT_EQ (report.records, 102);
    EXPECT_TRUE (report.firstError.contains ("record 51: checksum")) << report.firstError;
}

TEST (SimFirmware, RecordsThatBreakTheFormatAreRejected)
{
    const auto corrupt = [] (const std::string& from, const std::string& to)
    {
        auto text = FirmwareImageBuilder::hexText (3);
        const auto at = text.find (from);
        EXPECT_NE (at, std::string::npos);
        text.replace (at, from.size(), to);
        return check (FirmwareImageBuilder::image (text));
    };

    EXPECT_TRUE (corrupt (":00000001FF\n", "").firstError.contains ("no end-of-file record"));
    EXPECT_TRUE (corrupt (":00000001FF\n", ":00000001FF\n:00000001FF\n").firstError.contains ("record 6: follows the end-of-file"));
    EXPECT_TRUE (corrupt ("\n:10", "\r\n:10").firstError.contains ("record 1: holds a character that is not a hex digit"));
    EXPECT_TRUE (corrupt (":02000004", "02000004").firstError.contains ("record 1: does not start with ':'"));
    EXPECT_TRUE (corrupt (":00000001FF\n", ":00000001FF").firstError.contains ("no line feed"));
    EXPECT_TRUE (corrupt (":00000001FF", ":0000000200FF").firstError.contains ("byte count 0 does not match its 1"));
    EXPECT_TRUE (corrupt (":00000001FF", ":00000009F7").firstError.contains ("unknown record type"));
    EXPECT_EQ (corrupt (":00000001FF\n", ":00000001FF\n").status, Status::accepted) << "the unchanged text passes";
}

TEST (SimFirmware, LayoutErrorsOutsideTheTextEndTheStreamAtOnce)
{
    const auto good = FirmwareImageBuilder::image (FirmwareImageBuilder::hexText (4));

    auto twoMessages = good;
    twoMessages[12] = 2;
    auto report = check (twoMessages);
    EXPECT_EQ (report.status, Status::rejected);
    EXPECT_EQ (report.bytes, 20);
    EXPECT_TRUE (report.firstError.contains ("2 data messages")) << report.firstError;

    auto hugeLength = good;
    hugeLength[19] = 0x7F;
    EXPECT_TRUE (check (hugeLength).firstError.contains ("announces a data message of")) << check (hugeLength).firstError;

    auto wrongCommand = good;
    wrongCommand[24] = 0x71;
    report = check (wrongCommand);
    EXPECT_EQ (report.bytes, 25);
    EXPECT_TRUE (report.firstError.contains ("byte 24: expected the firmware data message frame")) << report.firstError;

    auto earlyEnd = good;
    earlyEnd[100] = 0xF7;
    report = check (earlyEnd);
    EXPECT_EQ (report.bytes, 101);
    EXPECT_TRUE (report.firstError.contains ("the data message ends after")) << report.firstError;

    auto notAscii = good;
    notAscii[60] = 0x90;
    report = check (notAscii);
    EXPECT_EQ (report.status, Status::rejected);
    EXPECT_EQ (report.bytes, (juce::int64) good.size());
    EXPECT_TRUE (report.firstError.contains ("byte 60: 0x90 inside the Intel HEX text")) << report.firstError;

    auto longer = good;
    longer.insert (longer.end() - 1, '\n');   // the F7 moves one past the announced length
    EXPECT_TRUE (check (longer).firstError.contains ("does not end with F7")) << check (longer).firstError;
}

TEST (SimFirmware, TheMachineInstallsAValidImageSentInSlicesOfAnySize)
{
    const auto image = FirmwareImageBuilder::fullSizeImage();
    for (size_t slice : { (size_t) 64, (size_t) 1, (size_t) 7, image.size() })
    {
        Machine m;
        EXPECT_DOUBLE_EQ (reportedVersion (*m.machine), 1.0);
        stream (*m.machine, image, slice);
        EXPECT_FALSE (m.machine->isReceivingFirmware());
        EXPECT_DOUBLE_EQ (reportedVersion (*m.machine), 1.05) << "slice " << slice;
        EXPECT_EQ (m.firmwareLines(), "FIRMWARE request\nFIRMWARE accepted bytes=113134 records=2572 version=1.05");
        EXPECT_EQ (m.machine->getStoredState().installedFirmwareVersion, "1.05");
    }
}

TEST (SimFirmware, TheImageWithoutTheLoneRequestBeforeItIsAcceptedToo)
{
    Machine m;
    const auto image = FirmwareImageBuilder::image (FirmwareImageBuilder::hexText (10));
    for (size_t offset = 0; offset < image.size(); offset += 64)
        m.machine->receive (image.data() + offset, (int) std::min<size_t> (64, image.size() - offset));
    EXPECT_DOUBLE_EQ (reportedVersion (*m.machine), 1.05);
}

TEST (SimFirmware, ABadImageLeavesTheBootLoaderAnsweringUntilAGoodOne)
{
    Machine m;
    auto image = FirmwareImageBuilder::fullSizeImage();
    image[FirmwareImageBuilder::recordOffset (image, 2000) + 41] ^= 0x01;
    stream (*m.machine, image, 64);
    EXPECT_FALSE (m.machine->isReceivingFirmware());
    EXPECT_DOUBLE_EQ (reportedVersion (*m.machine), 0.0);
    EXPECT_TRUE (m.firmwareLines().contains ("FIRMWARE rejected bytes=113134 records=2572 error=byte ")) << m.firmwareLines();
    EXPECT_TRUE (m.firmwareLines().contains ("record 2001: checksum"));
    EXPECT_EQ (m.machine->getStoredState().installedFirmwareVersion, "0.00");

    stream (*m.machine, FirmwareImageBuilder::fullSizeImage(), 64);
    EXPECT_DOUBLE_EQ (reportedVersion (*m.machine), 1.05);
}

TEST (SimFirmware, AStreamCutShortIsRejectedWhenItHasStoppedLongEnough)
{
    Machine m;
    const auto image = FirmwareImageBuilder::fullSizeImage();
    stream (*m.machine, image, 64, 64 * 1000);
    EXPECT_TRUE (m.machine->isReceivingFirmware());

    m.clock.advanceMs (4999);
    m.machine->tick();
    EXPECT_TRUE (m.machine->isReceivingFirmware());

    m.clock.advanceMs (1);
    m.machine->tick();
    EXPECT_FALSE (m.machine->isReceivingFirmware());
    const auto report = m.machine->getLastFirmwareReport();
    ASSERT_TRUE (report.has_value());
    EXPECT_EQ (report->status, Status::rejected);
    EXPECT_EQ (report->bytes, 64000);
    EXPECT_EQ (report->records, 1454);
    EXPECT_TRUE (report->firstError.contains ("stream stopped after 64000 of 113134 bytes")) << report->firstError;
    EXPECT_TRUE (m.firmwareLines().endsWith ("FIRMWARE rejected bytes=64000 records=1454 error=stream stopped after 64000 of 113134 bytes"))
        << m.firmwareLines();
    EXPECT_DOUBLE_EQ (reportedVersion (*m.machine), 0.0);
}

TEST (SimFirmware, AMessageInTheMiddleOfTheTextEndsTheStreamAsRejected)
{
    Machine m;
    stream (*m.machine, FirmwareImageBuilder::fullSizeImage(), 64, 6400);
    // Its F0 is no HEX text and its F7 ends the data message early.
    EXPECT_TRUE (m.machine->receive (DeviceMessages::identityRequest()).empty());
    EXPECT_FALSE (m.machine->isReceivingFirmware());
    EXPECT_TRUE (m.firmwareLines().contains ("FIRMWARE rejected bytes=6406 records=145 error=byte 6400: 0xF0 inside the Intel HEX text"))
        << m.firmwareLines();

    // The rest of the image is then just bytes without a status: ignored.
    const auto image = FirmwareImageBuilder::fullSizeImage();
    m.machine->receive (image.data() + 6400, 64);
    EXPECT_DOUBLE_EQ (reportedVersion (*m.machine), 0.0);
}

TEST (SimFirmware, ALoneRequestIsGivenUpAfterTheImageWaitWithoutDisturbingAnything)
{
    Machine m;
    m.machine->receive (DeviceMessages::firmwareUpdateRequest());
    m.clock.advanceMs (8000);   // the utility's own wait before the first slice
    m.machine->tick();
    EXPECT_TRUE (m.machine->isReceivingFirmware());
    m.clock.advanceMs (30000);
    m.machine->tick();
    EXPECT_FALSE (m.machine->isReceivingFirmware());
    EXPECT_DOUBLE_EQ (reportedVersion (*m.machine), 1.0);
}

TEST (SimFirmware, AnAcceptedUpdateRestartsTheMachine)
{
    Machine m;
    m.machine->receive (DeviceMessages::noteOn (24));
    m.machine->receive (DeviceMessages::calibrationValueWrite (24, 1000));
    stream (*m.machine, FirmwareImageBuilder::image (FirmwareImageBuilder::hexText (5)), 64);
    EXPECT_EQ (m.machine->getSoundingNote(), -1);
    EXPECT_EQ (m.machine->getWorkingValue (24), FactoryCalibration::valueForNote (24));
}

#include "EmbeddedData.h"
#include "midi/DeviceMessages.h"
#include "sim/model/FirmwareStreamChecker.h"
#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"

#include <gtest/gtest.h>

namespace
{
using Bytes = std::vector<juce::uint8>;
using Status = FirmwareStreamChecker::Status;

const Bytes embedded (EmbeddedData::firmwareImageContainer, EmbeddedData::firmwareImageContainer + EmbeddedData::firmwareImageContainerSize);

// The embedded image's address record and first data records, then the end-of-file record.
std::string hexText (int dataRecords)
{
    size_t end = 25;
    for (int r = 0; r <= dataRecords; ++r)
        end = (size_t) (std::find (embedded.begin() + (long) end, embedded.end(), '\n') - embedded.begin()) + 1;
    return std::string (embedded.begin() + 25, embedded.begin() + (long) end) + ":00000001FF\n";
}

// The text as an image: the request, a header announcing it, its data message.
Bytes imageOf (const std::string& text)
{
    Bytes image (embedded.begin(), embedded.begin() + 25);
    for (int i = 0; i < 4; ++i)
        image[16 + (size_t) i] = (juce::uint8) ((text.size() + 6) >> (8 * i));
    image.insert (image.end(), text.begin(), text.end());
    image.push_back (0xF7);
    return image;
}

struct Machine
{
    Machine()
    {
        machine.setLogSink ([this] (const juce::String& line) { if (line.startsWith ("FIRMWARE")) log.add (line); });
    }

    // As the utility streams: the lone request, then the image in slices.
    void stream (const Bytes& image, size_t sliceSize = 64, size_t upTo = SIZE_MAX)
    {
        machine.receive (DeviceMessages::firmwareUpdateRequest());
        for (size_t offset = 0; offset < std::min (upTo, image.size()); offset += sliceSize)
            machine.receive (image.data() + offset, (int) std::min (sliceSize, std::min (upTo, image.size()) - offset));
    }

    double version()
    {
        const auto replies = machine.receive (DeviceMessages::identityRequest());
        return replies.size() == 1 ? DeviceMessages::parseIdentityReplyVersion (replies[0]).value_or (-1.0) : -1.0;
    }

    SimulatedClock clock;
    VirtualKestrune machine { [] { VirtualKestrune::Options o; o.firmwareVersion = "1.00"; o.firmwareVersionAfterUpdate = "1.05"; return o; }(), clock };
    juce::StringArray log;
};
} // namespace

TEST (SimFirmware, TheEmbeddedImageIsInstalledHoweverItIsSliced)
{
    for (size_t slice : { (size_t) 64, (size_t) 1, (size_t) 7, embedded.size() })
    {
        SCOPED_TRACE (slice);
        Machine m;
        EXPECT_DOUBLE_EQ (m.version(), 1.0);
        m.machine.receive (DeviceMessages::noteOn (24));
        m.machine.receive (DeviceMessages::calibrationValueWrite (24, 1000));
        m.stream (embedded, slice);
        EXPECT_FALSE (m.machine.isReceivingFirmware());
        EXPECT_DOUBLE_EQ (m.version(), 1.05);
        EXPECT_EQ (m.log.joinIntoString ("\n"), "FIRMWARE request\nFIRMWARE accepted bytes=113134 records=2572 version=1.05");
        EXPECT_EQ (m.machine.getStoredState().installedFirmwareVersion, "1.05");
        // The update restarts the machine.
        EXPECT_EQ (m.machine.getSoundingNote(), -1);
        EXPECT_EQ (m.machine.getWorkingValue (24), FactoryCalibration::valueForNote (24));
    }
}

TEST (SimFirmware, EveryBreakOfTheLayoutIsRejectedWithItsPlace)
{
    // A change to the text (the header then announces its new length), or to
    // the byte at (counted back from the end when negative); bytes: where the
    // stream ended, counted back from the end when not positive.
    const struct { const char* from; const char* to; long at; juce::uint8 value; const char* error; juce::int64 bytes; } cases[] = {
        { ":020000040800F2", ":020000040800F3", 0, 0, "record 1: checksum", 0 },
        { ":00000001FF\n", "", 0, 0, "no end-of-file record", 0 },
        { ":00000001FF\n", ":00000001FF\n:00000001FF\n", 0, 0, "record 7: follows the end-of-file", 0 },
        { "\n:10", "\r\n:10", 0, 0, "record 1: holds a character that is not a hex digit", 0 },
        { ":02000004", "02000004", 0, 0, "record 1: does not start with ':'", 0 },
        { ":00000001FF\n", ":00000001FF", 0, 0, "no line feed", 0 },
        { ":00000001FF", ":0000000200FF", 0, 0, "byte count 0 does not match its 1", 0 },
        { ":00000001FF", ":00000009F7", 0, 0, "unknown record type", 0 },
        { nullptr, nullptr, 12, 2, "2 data messages", 20 },
        { nullptr, nullptr, 19, 0x7F, "announces a data message of", 20 },
        { nullptr, nullptr, 24, 0x71, "byte 24: expected the firmware data message frame", 25 },
        { nullptr, nullptr, 100, 0xF7, "the data message ends after", 101 },
        { nullptr, nullptr, 60, 0x90, "byte 60: 0x90 inside the Intel HEX text", 0 },
        { nullptr, nullptr, -1, '\n', "does not end with F7", 0 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.error);
        auto text = hexText (4);
        if (c.from != nullptr)
            text.replace (text.find (c.from), std::strlen (c.from), c.to);
        auto image = imageOf (text);
        if (c.from == nullptr)
            image[(size_t) (c.at < 0 ? (long) image.size() + c.at : c.at)] = c.value;
        FirmwareStreamChecker checker;
        for (size_t i = 0; i < image.size() && checker.push (image[i]) == Status::receiving; ++i) {}
        const auto& report = checker.getReport();
        EXPECT_EQ (report.status, Status::rejected);
        EXPECT_TRUE (report.firstError.contains (c.error)) << report.firstError;
        EXPECT_EQ (report.bytes, c.bytes <= 0 ? (juce::int64) image.size() + c.bytes : c.bytes);
    }
}

TEST (SimFirmware, ARejectedOrUnfinishedImageLeavesTheBootLoaderUntilAGoodOne)
{
    // A lone request is given up after the image wait, leaving the firmware.
    Machine m;
    m.machine.receive (DeviceMessages::firmwareUpdateRequest());
    m.clock.advanceMs (8000);   // the utility's own wait before the first slice
    m.machine.tick();
    EXPECT_TRUE (m.machine.isReceivingFirmware());
    m.clock.advanceMs (30000);
    m.machine.tick();
    EXPECT_FALSE (m.machine.isReceivingFirmware());
    EXPECT_DOUBLE_EQ (m.version(), 1.0);

    auto image = embedded;
    image[88000] = 'G';
    m.stream (image);
    EXPECT_FALSE (m.machine.isReceivingFirmware());
    EXPECT_DOUBLE_EQ (m.version(), 0.0);
    EXPECT_EQ (m.log.strings.getLast(), "FIRMWARE rejected bytes=113134 records=2572 error=byte 88040: record 2001: holds a character that is not a hex digit");
    EXPECT_EQ (m.machine.getStoredState().installedFirmwareVersion, "0.00");

    // Cut short: given up once nothing came for 5 s.
    m.stream (embedded, 64, 64000);
    m.clock.advanceMs (4999);
    m.machine.tick();
    EXPECT_TRUE (m.machine.isReceivingFirmware());
    m.clock.advanceMs (1);
    m.machine.tick();
    EXPECT_FALSE (m.machine.isReceivingFirmware());
    EXPECT_EQ (m.log.strings.getLast(), "FIRMWARE rejected bytes=64000 records=1454 error=stream stopped after 64000 of 113134 bytes");

    // A message in the middle of the text ends it; the rest is bytes without a status.
    m.stream (embedded, 64, 6400);
    EXPECT_TRUE (m.machine.receive (DeviceMessages::identityRequest()).empty());
    EXPECT_TRUE (m.log.strings.getLast().startsWith ("FIRMWARE rejected bytes=6406 records=145 error=byte 6400: 0xF0 inside the Intel HEX text")) << m.log.strings.getLast();
    m.machine.receive (embedded.data() + 6400, 64);
    EXPECT_DOUBLE_EQ (m.version(), 0.0);
    m.stream (embedded);
    EXPECT_DOUBLE_EQ (m.version(), 1.05);
}

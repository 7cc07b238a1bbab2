#include "EmbeddedData.h"
#include "midi/DeviceMessages.h"
#include "sim/model/FirmwareStreamChecker.h"
#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"

#include <gtest/gtest.h>

#include <functional>

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

// Flips a checksum digit of record n (counted from 1) between 0 and 1.
void breakChecksum (Bytes& image, int record)
{
    auto at = image.begin() + 25;
    for (int r = 1; r < record; ++r)
        at = std::find (at, image.end(), '\n') + 1;
    at[41] = at[41] == '0' ? '1' : '0';
}

FirmwareStreamChecker::Report check (const Bytes& stream)
{
    FirmwareStreamChecker checker;
    for (size_t i = 0; i < stream.size() && checker.push (stream[i]) == Status::receiving; ++i) {}
    return checker.getReport();
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
    const auto text = [] (int records, const std::string& from, const std::string& to) {
        return [=] (Bytes& image) {
            auto t = hexText (records);
            t.replace (t.find (from), from.size(), to);
            image = imageOf (t);
        };
    };
    const auto set = [] (size_t at, juce::uint8 value) { return [=] (Bytes& image) { image[at] = value; }; };
    const struct
    {
        std::function<void (Bytes&)> corrupt;
        const char* error;
        juce::int64 bytes;   // <= 0: counted back from the image's end
    } cases[] = {
        { [] (Bytes& image) { image = imageOf (hexText (100)); breakChecksum (image, 51); }, "record 51: checksum", 0 },
        { text (3, ":00000001FF\n", ""), "no end-of-file record", 0 },
        { text (3, ":00000001FF\n", ":00000001FF\n:00000001FF\n"), "record 6: follows the end-of-file", 0 },
        { text (3, "\n:10", "\r\n:10"), "record 1: holds a character that is not a hex digit", 0 },
        { text (3, ":02000004", "02000004"), "record 1: does not start with ':'", 0 },
        { text (3, ":00000001FF\n", ":00000001FF"), "no line feed", 0 },
        { text (3, ":00000001FF", ":0000000200FF"), "byte count 0 does not match its 1", 0 },
        { text (3, ":00000001FF", ":00000009F7"), "unknown record type", 0 },
        { set (12, 2), "2 data messages", 20 },
        { set (19, 0x7F), "announces a data message of", 20 },
        { set (24, 0x71), "byte 24: expected the firmware data message frame", 25 },
        { set (100, 0xF7), "the data message ends after", 101 },
        { set (60, 0x90), "byte 60: 0x90 inside the Intel HEX text", 0 },
        { [] (Bytes& image) { image.insert (image.end() - 1, '\n'); }, "does not end with F7", -1 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.error);
        auto image = imageOf (hexText (4));
        c.corrupt (image);
        const auto report = check (image);
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
    breakChecksum (image, 2001);
    m.stream (image);
    EXPECT_FALSE (m.machine.isReceivingFirmware());
    EXPECT_DOUBLE_EQ (m.version(), 0.0);
    EXPECT_TRUE (m.log.strings.getLast().startsWith ("FIRMWARE rejected bytes=113134 records=2572 error=byte ")) << m.log.strings.getLast();
    EXPECT_TRUE (m.log.strings.getLast().contains ("record 2001: checksum"));
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

    // Without the lone request before it.
    for (size_t offset = 0; offset < embedded.size(); offset += 64)
        m.machine.receive (embedded.data() + offset, (int) std::min<size_t> (64, embedded.size() - offset));
    EXPECT_DOUBLE_EQ (m.version(), 1.05);
}

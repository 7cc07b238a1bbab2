// The virtual machine's firmware loader: any bytes, in any slices, after an
// update request. The report must add up, must not depend on the slicing, and
// must accept exactly the streams that are a valid image.

#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "sim/model/FirmwareStreamChecker.h"
#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"

#include <algorithm>
#include <string>

namespace
{
using Bytes = std::vector<std::uint8_t>;

int hexValue (std::uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

juce::uint32 littleEndian32 (const std::uint8_t* p)
{
    return (juce::uint32) p[0] | (juce::uint32) p[1] << 8 | (juce::uint32) p[2] << 16 | (juce::uint32) p[3] << 24;
}

// One Intel HEX record without its line feed; sets endOfFile for type 01.
bool isValidRecord (const std::uint8_t* text, size_t size, bool& endOfFile)
{
    if (size < 11 || text[0] != ':' || size % 2 == 0)
        return false;
    Bytes bytes;
    for (size_t i = 1; i < size; i += 2)
    {
        const int high = hexValue (text[i]), low = hexValue (text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back ((std::uint8_t) (high * 16 + low));
    }
    int sum = 0;
    for (auto b : bytes)
        sum += b;
    const auto type = bytes[3];
    endOfFile = type == 1;
    return bytes[0] + 5u == bytes.size() && (sum & 0xFF) == 0 && type <= 5 && ! (endOfFile && bytes[0] != 0);
}

// The length of the valid image at the start of the stream (after any lone
// update requests before it), or 0 when the stream does not start with one.
size_t validImageLength (const Bytes& stream, size_t& imageStart)
{
    const auto& request = FirmwareStreamChecker::updateRequestBytes();
    const auto isRequestAt = [&] (size_t at) {
        return at + request.size() <= stream.size() && std::equal (request.begin(), request.end(), stream.begin() + (long) at);
    };
    if (! isRequestAt (0))
        return 0;
    imageStart = 0;
    while (isRequestAt (imageStart + request.size()))
        imageStart += request.size();

    const size_t header = imageStart + request.size();
    if (stream.size() < header + 12 || littleEndian32 (&stream[header + 4]) != 1)
        return 0;
    const auto length = (size_t) littleEndian32 (&stream[header + 8]);
    const size_t message = header + 12;
    if (length < 6 || length > (size_t) FirmwareStreamChecker::maxDataMessageBytes || stream.size() < message + length)
        return 0;
    const std::uint8_t frame[] = { 0xF0, 0x47, 0x00, 0x2A, 0x70 };
    if (! std::equal (frame, frame + 5, stream.begin() + (long) message) || stream[message + length - 1] != 0xF7)
        return 0;

    // The text: records, each ended by a line feed, the end-of-file record last.
    const auto* text = &stream[message + 5];
    const size_t textSize = length - 6;
    bool sawEnd = false;
    size_t lineStart = 0;
    for (size_t i = 0; i < textSize; ++i)
    {
        if (text[i] >= 0x80)
            return 0;
        if (text[i] != '\n')
            continue;
        bool endOfFile = false;
        if (sawEnd || ! isValidRecord (text + lineStart, i - lineStart, endOfFile))
            return 0;
        sawEnd = endOfFile;
        lineStart = i + 1;
    }
    if (! sawEnd || lineStart != textSize)
        return 0;
    return message + length - imageStart;
}

void requireSameReport (const FirmwareStreamChecker::Report& a, const FirmwareStreamChecker::Report& b)
{
    fuzzcheck::require (a.status == b.status && a.bytes == b.bytes && a.expectedBytes == b.expectedBytes
                            && a.records == b.records && a.firstError == b.firstError,
                        "the slicing changed the firmware report");
}
} // namespace

int fuzzFirmwareStream (const std::uint8_t* data, size_t size)
{
    // Two bytes choose the slicing, the rest is the stream after the lone
    // update request that announces it.
    if (size < 2)
        return 0;
    juce::uint32 sliceSeed = (juce::uint32) data[0] << 8 | data[1] | 1u;
    const auto& request = FirmwareStreamChecker::updateRequestBytes();
    Bytes stream (request);
    stream.insert (stream.end(), data + 2, data + size);

    FirmwareStreamChecker checker;
    size_t consumed = 0;
    while (consumed < stream.size() && checker.push (stream[consumed]) == FirmwareStreamChecker::Status::receiving)
        ++consumed;
    if (consumed < stream.size())
        ++consumed;   // the byte that ended the stream
    const bool endedBySelf = checker.getStatus() != FirmwareStreamChecker::Status::receiving;
    const bool imageBegan = endedBySelf || ! checker.hasOnlyRequest();
    if (! endedBySelf)
        checker.endCutShort();
    const auto report = checker.getReport();

    // Counts that add up.
    const auto lineFeeds = std::count (stream.begin(), stream.begin() + (long) consumed, (std::uint8_t) '\n');
    fuzzcheck::require (report.bytes >= 0 && report.bytes <= (juce::int64) consumed, "counted bytes it never got");
    fuzzcheck::require (report.expectedBytes == 0 || report.bytes <= report.expectedBytes, "counted past the announced end");
    fuzzcheck::require (report.records >= 0 && report.records <= lineFeeds, "counted records without line feeds");
    fuzzcheck::require (report.status != FirmwareStreamChecker::Status::receiving, "no verdict after the end");
    fuzzcheck::require ((report.status == FirmwareStreamChecker::Status::accepted) == report.firstError.isEmpty(),
                        "a verdict that disagrees with its error");
    fuzzcheck::require (checker.push (0xF7) == report.status && checker.getReport().bytes == report.bytes,
                        "bytes after the verdict changed it");

    // Accepted exactly when the stream starts with a valid image, and then
    // over exactly that image.
    size_t imageStart = 0;
    const auto imageLength = validImageLength (stream, imageStart);
    if (report.status == FirmwareStreamChecker::Status::accepted)
    {
        fuzzcheck::require (imageLength > 0, "accepted a stream that is not a valid image");
        fuzzcheck::require (report.bytes == (juce::int64) imageLength && report.expectedBytes == report.bytes
                                && consumed == imageStart + imageLength,
                            "accepted, but not over the image");
    }
    else
    {
        fuzzcheck::require (imageLength == 0, "rejected a valid image");
    }

    // The virtual machine gets the same bytes in slices and must come to the
    // same report; an accepted image, and only that, installs the new version.
    // A rejected image leaves only the boot loader; a lone request, the old
    // firmware.
    SimulatedClock clock;
    VirtualKestrune::Options options;
    options.firmwareVersion = "1.00";
    options.firmwareVersionAfterUpdate = "1.05";
    VirtualKestrune machine (options, clock);
    for (size_t offset = 0; offset < consumed;)
    {
        sliceSeed ^= sliceSeed << 13;
        sliceSeed ^= sliceSeed >> 17;
        sliceSeed ^= sliceSeed << 5;
        const auto slice = std::min<size_t> (1 + sliceSeed % 80, consumed - offset);
        machine.receive (stream.data() + offset, (int) slice);
        offset += slice;
    }
    if (machine.isReceivingFirmware())
    {
        fuzzcheck::require (! endedBySelf, "the machine still receives a stream that ended");
        clock.advanceMs (options.firmwareImageWaitMs);
        machine.tick();
    }
    fuzzcheck::require (! machine.isReceivingFirmware(), "the machine never gave up the stream");
    const auto machineReport = machine.getLastFirmwareReport();
    fuzzcheck::require (machineReport.has_value(), "the machine kept no report");
    requireSameReport (*machineReport, report);
    const bool accepted = report.status == FirmwareStreamChecker::Status::accepted;
    const juce::String expectedVersion = accepted ? "1.05" : imageBegan ? VirtualKestrune::bootLoaderVersion : "1.00";
    fuzzcheck::require (machine.getFirmwareVersion() == expectedVersion, "the version does not follow the verdict");
    return 0;
}

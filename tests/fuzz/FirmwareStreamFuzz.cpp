// The virtual machine's firmware loader: any bytes, in any slices, after an
// update request. The report must add up, must not depend on the slicing, and
// must accept exactly the streams that are a valid image.

#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "sim/model/FirmwareStreamChecker.h"
#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"

#include <algorithm>

namespace
{
using Bytes = std::vector<std::uint8_t>;
using fuzzcheck::require;

int hexValue (std::uint8_t c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

size_t littleEndian32 (const std::uint8_t* p)
{
    return (size_t) p[0] | (size_t) p[1] << 8 | (size_t) p[2] << 16 | (size_t) p[3] << 24;
}

// One Intel HEX record without its line feed; sets endOfFile for type 01.
bool isValidRecord (const std::uint8_t* text, size_t size, bool& endOfFile)
{
    if (size < 11 || text[0] != ':' || size % 2 == 0)
        return false;
    Bytes bytes;
    int sum = 0;
    for (size_t i = 1; i < size; i += 2)
    {
        const int high = hexValue (text[i]), low = hexValue (text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back ((std::uint8_t) (high * 16 + low));
        sum += bytes.back();
    }
    endOfFile = bytes[3] == 1;
    return bytes[0] + 5u == bytes.size() && (sum & 0xFF) == 0 && bytes[3] <= 5 && ! (endOfFile && bytes[0] != 0);
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
    for (imageStart = 0; isRequestAt (imageStart + request.size());)
        imageStart += request.size();

    const size_t header = imageStart + request.size(), message = header + 12;
    if (stream.size() < message || littleEndian32 (&stream[header + 4]) != 1)
        return 0;
    const auto length = littleEndian32 (&stream[header + 8]);
    const std::uint8_t frame[] = { 0xF0, 0x47, 0x00, 0x2A, 0x70 };
    if (length < 6 || length > (size_t) FirmwareStreamChecker::maxDataMessageBytes || stream.size() < message + length
        || ! std::equal (frame, frame + 5, stream.begin() + (long) message) || stream[message + length - 1] != 0xF7)
        return 0;

    // The text: records, each ended by a line feed, the end-of-file record last.
    const auto* text = &stream[message + 5];
    bool sawEnd = false, endOfFile = false;
    size_t lineStart = 0;
    for (size_t i = 0; i < length - 6; ++i)
    {
        if (text[i] >= 0x80 || (text[i] == '\n' && (sawEnd || ! isValidRecord (text + lineStart, i - lineStart, endOfFile))))
            return 0;
        if (text[i] == '\n')
        {
            sawEnd = endOfFile;
            lineStart = i + 1;
        }
    }
    return sawEnd && lineStart == length - 6 ? message + length - imageStart : 0;
}
} // namespace

int fuzzFirmwareStream (const std::uint8_t* data, size_t size)
{
    // Two bytes choose the slicing, the rest is the stream after the lone
    // update request that announces it.
    if (size < 2)
        return 0;
    juce::uint32 sliceSeed = (juce::uint32) data[0] << 8 | data[1] | 1u;
    Bytes stream (FirmwareStreamChecker::updateRequestBytes());
    stream.insert (stream.end(), data + 2, data + size);

    using Status = FirmwareStreamChecker::Status;
    FirmwareStreamChecker checker;
    size_t consumed = 0;
    while (consumed < stream.size() && checker.push (stream[consumed]) == Status::receiving)
        ++consumed;
    consumed = std::min (consumed + 1, stream.size());   // with the byte that ended the stream
    const bool endedBySelf = checker.getStatus() != Status::receiving;
    const bool imageBegan = endedBySelf || ! checker.hasOnlyRequest();
    if (! endedBySelf)
        checker.endCutShort();
    const auto report = checker.getReport();

    // Counts that add up.
    require (report.bytes >= 0 && report.bytes <= (juce::int64) consumed, "counted bytes it never got");
    require (report.expectedBytes == 0 || report.bytes <= report.expectedBytes, "counted past the announced end");
    require (report.records >= 0 && report.records <= std::count (stream.begin(), stream.begin() + (long) consumed, '\n'),
             "counted records without line feeds");
    require (report.status != Status::receiving, "no verdict after the end");
    require ((report.status == Status::accepted) == report.firstError.isEmpty(), "a verdict that disagrees with its error");
    require (checker.push (0xF7) == report.status && checker.getReport().bytes == report.bytes, "bytes after the verdict changed it");

    // Accepted exactly when the stream starts with a valid image, and then
    // over exactly that image.
    size_t imageStart = 0;
    const auto imageLength = validImageLength (stream, imageStart);
    const bool accepted = report.status == Status::accepted;
    require (accepted == (imageLength > 0), "the verdict disagrees with the image's validity");
    require (! accepted || (report.bytes == (juce::int64) imageLength && report.expectedBytes == report.bytes
                            && consumed == imageStart + imageLength),
             "accepted, but not over the image");

    // The virtual machine gets the same bytes in slices and must come to the
    // same report; an accepted image, and only that, installs the new version.
    // A rejected image leaves only the boot loader; a lone request, the old firmware.
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
        require (! endedBySelf, "the machine still receives a stream that ended");
        clock.advanceMs (options.firmwareImageWaitMs);
        machine.tick();
    }
    require (! machine.isReceivingFirmware(), "the machine never gave up the stream");
    const auto m = machine.getLastFirmwareReport();
    require (m && m->status == report.status && m->bytes == report.bytes && m->expectedBytes == report.expectedBytes
                 && m->records == report.records && m->firstError == report.firstError,
             "the slicing changed the firmware report");
    require (machine.getFirmwareVersion() == juce::String (accepted ? "1.05" : imageBegan ? VirtualKestrune::bootLoaderVersion : "1.00"),
             "the version does not follow the verdict");
    return 0;
}

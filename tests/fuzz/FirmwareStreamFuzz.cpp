// The virtual machine's firmware loader: any bytes, in any slices, after an update
// request. The report adds up, does not depend on the slicing, accepts only a whole image.

#include "FuzzTargets.h"
#include "sim/model/FirmwareStreamChecker.h"
#include "sim/model/SimulatedClock.h"
#include "sim/model/VirtualKestrune.h"

#include <algorithm>

namespace
{
using Bytes = std::vector<std::uint8_t>;
using fuzzcheck::require;

// Whether the stream ends, after the lone requests, with one whole image: the
// request, a header announcing one data message of its length, the message
// F0 47 00 2A 70 ... F7 whose text ends with the end-of-file record.
bool endsWithWholeImage (const Bytes& stream, size_t end, size_t& imageStart)
{
    const auto& request = FirmwareStreamChecker::updateRequestBytes();
    const auto isRequestAt = [&] (size_t at) { return at + 8 <= end && std::equal (request.begin(), request.end(), stream.begin() + (long) at); };
    for (imageStart = 0; isRequestAt (imageStart + 8);)
        imageStart += 8;
    const auto at = [&] (size_t i) { return (size_t) stream[imageStart + i]; };
    const std::string eof = ":00000001FF\n";
    return isRequestAt (imageStart) && end >= imageStart + 26 + eof.size() && stream[end - 1] == 0xF7 && at (12) == 1 && at (13) + at (14) + at (15) == 0
           && at (16) + (at (17) << 8) + (at (18) << 16) + (at (19) << 24) == end - imageStart - 20 && at (20) == 0xF0 && at (21) == 0x47
           && at (22) == 0 && at (23) == 0x2A && at (24) == 0x70 && std::equal (eof.begin(), eof.end(), stream.begin() + (long) (end - 1 - eof.size()));
}
} // namespace

int fuzzFirmwareStream (const std::uint8_t* data, size_t size)
{
    // Two bytes choose the slicing, the rest follows a lone update request.
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

    // Accepted only over exactly one whole image.
    size_t imageStart = 0;
    const bool accepted = report.status == Status::accepted;
    require (! accepted || (endsWithWholeImage (stream, consumed, imageStart) && report.bytes == (juce::int64) (consumed - imageStart)
                            && report.expectedBytes == report.bytes),
             "accepted, but not over a whole image");

    // The machine gets the same bytes in slices and must come to the same report;
    // only an accepted image installs the new version, a rejected one leaves the
    // boot loader, a lone request the old firmware.
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

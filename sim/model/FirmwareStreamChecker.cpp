#include "FirmwareStreamChecker.h"

namespace
{
constexpr size_t headerBytes = 12;
const juce::uint8 dataFrame[] = { 0xF0, 0x47, 0x00, 0x2A, 0x70 };

int hexDigit (char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

juce::uint32 littleEndian32 (const std::vector<juce::uint8>& bytes, size_t offset)
{
    return (juce::uint32) bytes[offset] | ((juce::uint32) bytes[offset + 1] << 8)
           | ((juce::uint32) bytes[offset + 2] << 16) | ((juce::uint32) bytes[offset + 3] << 24);
}

juce::String hexByte (int value)
{
    return "0x" + juce::String::toHexString (value).paddedLeft ('0', 2).toUpperCase();
}
} // namespace

const std::vector<juce::uint8>& FirmwareStreamChecker::updateRequestBytes()
{
    static const std::vector<juce::uint8> bytes { 0xF0, 0x47, 0x00, 0x2A, 0x72, 0x00, 0x00, 0xF7 };
    return bytes;
}

FirmwareStreamChecker::FirmwareStreamChecker()
{
    reset();
}

void FirmwareStreamChecker::reset()
{
    report = {};
    stage = Stage::request;
    stagePosition = 0;
    dataMessageLength = 0;
    header.clear();
    line.clear();
    lineTooLong = false;
    sawEndOfFile = false;
}

bool FirmwareStreamChecker::hasOnlyRequest() const
{
    return report.status == Status::receiving && (stage == Stage::request || (stage == Stage::header && header.empty()));
}

void FirmwareStreamChecker::fail (const juce::String& error)
{
    noteError (error);
    report.status = Status::rejected;
    stage = Stage::done;
}

void FirmwareStreamChecker::noteError (const juce::String& error)
{
    if (report.firstError.isEmpty())
        report.firstError = "byte " + juce::String (report.bytes - 1) + ": " + error;
}

void FirmwareStreamChecker::endCutShort()
{
    if (report.status != Status::receiving)
        return;
    if (report.firstError.isEmpty())
        report.firstError = "stream stopped after " + juce::String (report.bytes)
                            + (report.expectedBytes > 0 ? " of " + juce::String (report.expectedBytes) : juce::String())
                            + " bytes";
    report.status = Status::rejected;
    stage = Stage::done;
}

FirmwareStreamChecker::Status FirmwareStreamChecker::push (juce::uint8 byte)
{
    if (report.status != Status::receiving)
        return report.status;

    ++report.bytes;
    const auto& request = updateRequestBytes();

    switch (stage)
    {
        case Stage::request:
            if (byte != request[(size_t) stagePosition])
            {
                fail ("expected the update request, found " + hexByte (byte));
                break;
            }
            if (++stagePosition == (juce::int64) request.size())
                stage = Stage::header;
            break;

        case Stage::header:
            pushHeaderByte (byte);
            break;

        case Stage::dataFrame:
            if (byte != dataFrame[stagePosition])
            {
                fail ("expected the firmware data message frame F0 47 00 2A 70, found " + hexByte (byte));
                break;
            }
            if (++stagePosition == (juce::int64) sizeof (dataFrame))
                stage = Stage::dataText;
            break;

        case Stage::dataText:
            ++stagePosition;
            if (stagePosition == dataMessageLength)
            {
                if (byte != 0xF7)
                    noteError ("the data message does not end with F7 where its length says");
                finishDataMessage();
            }
            else if (byte == 0xF7)
            {
                fail ("the data message ends after " + juce::String (stagePosition) + " of "
                      + juce::String (dataMessageLength) + " bytes");
            }
            else
            {
                pushTextByte (byte);
            }
            break;

        case Stage::done:
            break;
    }
    return report.status;
}

void FirmwareStreamChecker::pushHeaderByte (juce::uint8 byte)
{
    header.push_back (byte);
    const auto& request = updateRequestBytes();

    // The lone request that announced the transfer is followed by the image,
    // which starts with the request again: skip the earlier one.
    if (std::equal (header.begin(), header.end(), request.begin(), request.begin() + (long) std::min (header.size(), request.size())))
    {
        if (header.size() == request.size())
        {
            header.clear();
            report.bytes = (juce::int64) request.size();
        }
        return;
    }

    if (header.size() < headerBytes)
        return;

    const auto count = littleEndian32 (header, 4);
    const auto length = littleEndian32 (header, 8);
    if (count != 1)
    {
        fail ("the header announces " + juce::String (count) + " data messages, expected 1");
        return;
    }
    if (length < sizeof (dataFrame) + 1 || length > (juce::uint32) maxDataMessageBytes)
    {
        fail ("the header announces a data message of " + juce::String (length) + " bytes");
        return;
    }
    dataMessageLength = length;
    report.expectedBytes = (juce::int64) (request.size() + headerBytes) + dataMessageLength;
    stage = Stage::dataFrame;
    stagePosition = 0;
}

void FirmwareStreamChecker::pushTextByte (juce::uint8 byte)
{
    if (byte >= 0x80)
    {
        noteError (hexByte (byte) + " inside the Intel HEX text");
        return;
    }
    if (byte == '\n')
    {
        finishRecord();
        return;
    }
    if (line.size() < maxRecordChars)
        line.push_back ((char) byte);
    else
        lineTooLong = true;
}

void FirmwareStreamChecker::finishRecord()
{
    const auto recordNumber = ++report.records;
    const auto where = "record " + juce::String (recordNumber) + ": ";
    const auto text = std::move (line);
    line.clear();
    const auto tooLong = lineTooLong;
    lineTooLong = false;

    if (tooLong)
        return noteError (where + "longer than any record can be");
    if (sawEndOfFile)
        return noteError (where + "follows the end-of-file record");
    if (text.empty() || text[0] != ':')
        return noteError (where + "does not start with ':'");
    for (size_t i = 1; i < text.size(); ++i)
        if (hexDigit (text[i]) < 0)
            return noteError (where + "holds a character that is not a hex digit");
    if (text.size() < 11 || (text.size() - 1) % 2 != 0)
        return noteError (where + "has " + juce::String ((int) text.size()) + " characters");

    std::vector<int> bytes;
    for (size_t i = 1; i < text.size(); i += 2)
        bytes.push_back (hexDigit (text[i]) * 16 + hexDigit (text[i + 1]));

    const auto dataCount = bytes[0];
    if ((size_t) dataCount + 5 != bytes.size())
        return noteError (where + "byte count " + juce::String (dataCount) + " does not match its "
                          + juce::String ((int) bytes.size() - 5) + " data bytes");

    int sum = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        sum += bytes[i];
    const auto expectedChecksum = (0x100 - (sum & 0xFF)) & 0xFF;
    if (expectedChecksum != bytes.back())
        return noteError (where + "checksum " + hexByte (bytes.back()) + ", expected " + hexByte (expectedChecksum));

    const auto type = bytes[3];
    if (type > 5)
        return noteError (where + "unknown record type " + hexByte (type));
    if (type == 1)
    {
        if (dataCount != 0)
            return noteError (where + "end-of-file record with data");
        sawEndOfFile = true;
    }
}

void FirmwareStreamChecker::finishDataMessage()
{
    if (! line.empty())
        noteError ("the last record has no line feed");
    if (! sawEndOfFile)
        noteError ("no end-of-file record");
    report.status = report.firstError.isEmpty() ? Status::accepted : Status::rejected;
    stage = Stage::done;
}

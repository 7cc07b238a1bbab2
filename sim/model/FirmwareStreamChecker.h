#pragma once

#include <juce_core/juce_core.h>

#include <vector>

// Checks a firmware stream byte by byte against the image layout: the update
// request (a repeated lone request before the image is skipped), a 12-byte
// header of three little-endian 32-bit integers (reserved, message count 1,
// data message length), then one data message F0 47 00 2A 70, Intel HEX text
// with a line feed after every record, F7. Every record's checksum is checked.
//
// Errors inside the data message are noted and the rest of the announced
// length is still consumed, so the report covers the whole stream; errors in
// the request or header end the stream at once, since its extent is unknown.
class FirmwareStreamChecker
{
public:
    enum class Status
    {
        receiving,
        accepted,
        rejected
    };

    struct Report
    {
        Status status = Status::receiving;
        juce::int64 bytes = 0;           // from the start of the (last) update request
        juce::int64 expectedBytes = 0;   // 0 until the header is known
        int records = 0;                 // lines ended by a line feed
        juce::String firstError;         // empty when accepted
    };

    static constexpr juce::int64 maxDataMessageBytes = 4 * 1024 * 1024;
    static constexpr size_t maxRecordChars = 1 + 2 * (5 + 255);

    FirmwareStreamChecker();

    // Starts a new stream; the next bytes must be the update request.
    void reset();

    // Consumes one byte of the stream; after accepted or rejected, push does
    // nothing until reset.
    Status push (juce::uint8 byte);

    // The stream stopped before it was whole.
    void endCutShort();

    // Nothing but the update request (possibly repeated) has arrived yet.
    bool hasOnlyRequest() const;

    Status getStatus() const { return report.status; }
    const Report& getReport() const { return report; }

    static const std::vector<juce::uint8>& updateRequestBytes();

private:
    enum class Stage
    {
        request,
        header,
        dataFrame,
        dataText,
        done
    };

    void fail (const juce::String& error);
    void noteError (const juce::String& error);
    void pushHeaderByte (juce::uint8 byte);
    void pushTextByte (juce::uint8 byte);
    void finishRecord();
    void finishDataMessage();

    Report report;
    Stage stage = Stage::request;
    juce::int64 stagePosition = 0;
    juce::int64 dataMessageLength = 0;
    std::vector<juce::uint8> header;
    std::string line;
    bool lineTooLong = false;
    bool sawEndOfFile = false;
};

// The replies the engine reads from the wire: whatever a port delivers, the
// parsers decode only what they recognise, to values in range, and what a
// builder made they read back unchanged.

#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "MidiBytes.h"
#include "midi/DeviceMessages.h"
#include "midi/MidiStreamParser.h"

#include <cmath>
#include <cstring>

namespace
{
using fuzzcheck::require;

// The version whose text is the four numbers in decimal, "d0d1.d2d3".
double versionOf (const std::uint8_t* d)
{
    const auto scale = [] (int n) { return n >= 100 ? 1000.0 : n >= 10 ? 100.0 : 10.0; };
    return d[0] * scale (d[1]) + d[1] + (d[2] * scale (d[3]) + d[3]) / (scale (d[2]) * scale (d[3]));
}

// wellFormed: a complete message as the stream parser cuts it.
void checkParsers (const juce::MidiMessage& message, bool wellFormed)
{
    const auto* raw = message.getRawData();
    const auto size = (size_t) message.getRawDataSize();
    const bool sysex = size > 0 && raw[0] == 0xF0;

    const auto value = DeviceMessages::parseCalibrationValueReply (message);
    require (value.has_value() == (sysex && size == 13 && raw[4] == 0x24), "calibration reply recognised wrongly");
    if (value)
    {
        require (value->note == raw[7] && value->value == ((raw[8] & 0x0F) << 12 | (raw[9] & 0x0F) << 8 | (raw[10] & 0x0F) << 4 | (raw[11] & 0x0F)),
                 "reply is not note byte 7 and the four low nibbles");
        const auto rebuilt = DeviceMessages::calibrationValueReply (value->note, value->value);
        const bool canonical = raw[1] == 0x47 && raw[2] == 0 && raw[3] == 0x2A && raw[5] == 0 && raw[6] == 5
                               && raw[8] <= 0x0F && raw[9] <= 0x0F && raw[10] <= 0x0F && raw[11] <= 0x0F;
        if (wellFormed && canonical)
            require (rebuilt.getRawDataSize() == (int) size && std::memcmp (rebuilt.getRawData(), raw, size) == 0,
                     "a canonical reply is not what the builder makes");
    }

    const auto version = DeviceMessages::parseIdentityReplyVersion (message);
    require (version.has_value() == (sysex && size == 35 && raw[3] == 0x06 && raw[4] == 0x02 && raw[5] == 0x47 && raw[6] == 0x2A),
             "identity reply recognised wrongly");
    if (version)
    {
        const double expected = versionOf (raw + 9);
        require (std::isfinite (*version) && *version >= 0.0 && std::abs (*version - expected) <= 1e-9 * std::max (1.0, expected),
                 "version is not its digits");
        if (wellFormed)
            require (DeviceMessages::parseIdentityReplyVersion (DeviceMessages::identityReply (raw[9], raw[10], raw[11], raw[12])) == version,
                     "a rebuilt identity reply reads back differently");
    }
}

void checkBuilt (const juce::MidiMessage& message)
{
    require (midibytes::isCompleteMessage (message.getRawData(), (size_t) message.getRawDataSize(), 64),
             "a builder made a message that is not complete MIDI");
    checkParsers (message, true);
}
} // namespace

int fuzzDeviceMessages (const std::uint8_t* data, size_t size)
{
    // The whole input as one message, as any port might hand it over, and
    // every message the stream parser cuts from it.
    if (size > 0)
        checkParsers (juce::MidiMessage (data, (int) size, 0.0), false);
    MidiStreamParser parser;
    for (size_t i = 0; i < size; ++i)
        if (parser.push (data[i]))
            checkParsers (juce::MidiMessage (parser.message().data(), (int) parser.message().size(), 0.0), true);

    // Builders for arguments taken from the input: complete messages that the
    // parsers read back, and that no parser takes for something else.
    FuzzInput input (data, size);
    const int note = input.byte() & 0x7F;
    const auto value = input.word();
    const auto write = DeviceMessages::calibrationValueWrite (note, value);
    checkBuilt (write);
    const auto decoded = DeviceMessages::parseCalibrationValueReply (write);
    require (decoded && decoded->note == note && decoded->value == value, "a write does not read back");

    std::uint8_t d[4];
    for (auto& digit : d)
        digit = input.byte() & 0x7F;
    for (const auto& m : { DeviceMessages::identityReply (d[0], d[1], d[2], d[3]), DeviceMessages::calibrationValueRequest (note),
                           DeviceMessages::identityRequest(), DeviceMessages::calibrationCommit(),
                           DeviceMessages::firmwareUpdateRequest(), DeviceMessages::noteOn (note), DeviceMessages::noteOff (note) })
        checkBuilt (m);
    return 0;
}

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
bool sameBytes (const juce::MidiMessage& a, const juce::MidiMessage& b)
{
    return a.getRawDataSize() == b.getRawDataSize()
           && std::memcmp (a.getRawData(), b.getRawData(), (size_t) a.getRawDataSize()) == 0;
}

// The version whose text is the four numbers in decimal, "d0d1.d2d3".
double versionOf (const std::uint8_t* d)
{
    const auto scale = [] (int n) { return n >= 100 ? 1000.0 : n >= 10 ? 100.0 : 10.0; };
    const double whole = d[0] * scale (d[1]) + d[1];
    const double fraction = d[2] * scale (d[3]) + d[3];
    return whole + fraction / (scale (d[2]) * scale (d[3]));
}

// wellFormed: a complete message as the stream parser cuts it, whose data
// bytes are all below 0x80.
void checkParsers (const juce::MidiMessage& message, bool wellFormed)
{
    const auto* raw = message.getRawData();
    const auto size = (size_t) message.getRawDataSize();
    const bool sysex = size > 0 && raw[0] == 0xF0;

    const auto value = DeviceMessages::parseCalibrationValueReply (message);
    const bool looksLikeValue = sysex && size == 13 && raw[4] == 0x24;
    fuzzcheck::require (value.has_value() == looksLikeValue, "calibration reply recognised wrongly");
    if (value)
    {
        fuzzcheck::require (value->note == raw[7], "reply note is not byte 7");
        fuzzcheck::require (value->value == ((raw[8] & 0x0F) << 12 | (raw[9] & 0x0F) << 8 | (raw[10] & 0x0F) << 4 | (raw[11] & 0x0F)),
                            "reply value is not the four low nibbles");
        if (wellFormed)
        {
            fuzzcheck::require (value->note >= 0 && value->note <= 127, "reply note outside 0..127");
            const auto rebuilt = DeviceMessages::calibrationValueReply (value->note, value->value);
            const auto again = DeviceMessages::parseCalibrationValueReply (rebuilt);
            fuzzcheck::require (again && again->note == value->note && again->value == value->value,
                                "a rebuilt reply reads back differently");
            const bool canonical = raw[1] == 0x47 && raw[2] == 0 && raw[3] == 0x2A && raw[5] == 0 && raw[6] == 5
                                   && raw[8] <= 0x0F && raw[9] <= 0x0F && raw[10] <= 0x0F && raw[11] <= 0x0F;
            if (canonical)
                fuzzcheck::require (sameBytes (rebuilt, message), "a canonical reply is not what the builder makes");
        }
    }

    const auto version = DeviceMessages::parseIdentityReplyVersion (message);
    const bool looksLikeIdentity = sysex && size == 35 && raw[3] == 0x06 && raw[4] == 0x02 && raw[5] == 0x47 && raw[6] == 0x2A;
    fuzzcheck::require (version.has_value() == looksLikeIdentity, "identity reply recognised wrongly");
    if (version)
    {
        fuzzcheck::require (std::isfinite (*version) && *version >= 0.0, "version not a finite number >= 0");
        const double expected = versionOf (raw + 9);
        fuzzcheck::require (std::abs (*version - expected) <= 1e-9 * std::max (1.0, expected), "version is not its digits");
        if (wellFormed)
        {
            fuzzcheck::require (*version < 128128.0, "version beyond what data bytes can say");
            const auto rebuilt = DeviceMessages::identityReply (raw[9], raw[10], raw[11], raw[12]);
            fuzzcheck::require (DeviceMessages::parseIdentityReplyVersion (rebuilt) == version,
                                "a rebuilt identity reply reads back differently");
        }
    }
}

void checkBuilt (const juce::MidiMessage& message)
{
    fuzzcheck::require (midibytes::isCompleteMessage (message.getRawData(), (size_t) message.getRawDataSize(), 64),
                        "a builder made a message that is not complete MIDI");
}
} // namespace

int fuzzDeviceMessages (const std::uint8_t* data, size_t size)
{
    // The whole input as one message, as any port might hand it over.
    if (size > 0)
        checkParsers (juce::MidiMessage (data, (int) size, 0.0), false);

    // Every message the stream parser cuts from it.
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
    fuzzcheck::require (decoded && decoded->note == note && decoded->value == value, "a write does not read back");

    std::uint8_t digits[4];
    for (auto& d : digits)
        d = input.byte() & 0x7F;
    const auto identity = DeviceMessages::identityReply (digits[0], digits[1], digits[2], digits[3]);
    checkBuilt (identity);
    checkParsers (identity, true);

    for (const auto& m : { DeviceMessages::calibrationValueRequest (note), DeviceMessages::identityRequest(),
                           DeviceMessages::calibrationCommit(), DeviceMessages::firmwareUpdateRequest(),
                           DeviceMessages::noteOn (note), DeviceMessages::noteOff (note) })
    {
        checkBuilt (m);
        checkParsers (m, true);
    }
    return 0;
}

// The replies the engine reads from the wire: whatever a port delivers, the
// parsers decode only what they recognise, to values in range, and what a
// builder made they read back unchanged.

#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "midi/DeviceMessages.h"
#include "midi/MidiStreamParser.h"

#include <cmath>

namespace
{
using fuzzcheck::require;

void checkParsers (const juce::MidiMessage& message)
{
    const auto* raw = message.getRawData();
    const auto size = (size_t) message.getRawDataSize();
    const bool sysex = size > 0 && raw[0] == 0xF0;
    const auto value = DeviceMessages::parseCalibrationValueReply (message);
    require (value.has_value() == (sysex && size == 13 && raw[4] == 0x24), "calibration reply recognised wrongly");
    require (! value || (value->note == raw[7] && value->value == ((raw[8] & 15) << 12 | (raw[9] & 15) << 8 | (raw[10] & 15) << 4 | (raw[11] & 15))),
             "a reply is not note byte 7 and the four low nibbles");

    const auto version = DeviceMessages::parseIdentityReplyVersion (message);
    require (version.has_value() == (sysex && size == 35 && raw[3] == 0x06 && raw[4] == 0x02 && raw[5] == 0x47 && raw[6] == 0x2A),
             "identity reply recognised wrongly");
    require (! version || (std::isfinite (*version) && *version >= 0.0), "version out of range");
}
} // namespace

int fuzzDeviceMessages (const std::uint8_t* data, size_t size)
{
    // The whole input as one message, as any port might hand it over, and
    // every message the stream parser cuts from it.
    if (size > 0)
        checkParsers (juce::MidiMessage (data, (int) size, 0.0));
    MidiStreamParser parser;
    for (size_t i = 0; i < size; ++i)
        if (parser.push (data[i]))
            checkParsers (juce::MidiMessage (parser.message().data(), (int) parser.message().size(), 0.0));

    // Builders for arguments taken from the input: complete messages that the
    // parsers read back, and that no parser takes for something else.
    FuzzInput input (data, size);
    const int note = input.byte() & 0x7F;
    const auto value = input.word();
    std::uint8_t d[4];
    for (auto& digit : d)
        digit = input.byte() & 0x7F;
    const auto write = DeviceMessages::calibrationValueWrite (note, value);
    const auto decoded = DeviceMessages::parseCalibrationValueReply (write);
    require (decoded && decoded->note == note && decoded->value == value, "a write does not read back");
    const auto identity = DeviceMessages::identityReply (d[0], d[1], d[2], d[3]);
    require (DeviceMessages::parseIdentityReplyVersion (identity).has_value(), "an identity reply does not read back");
    for (const auto& m : { write, identity, DeviceMessages::calibrationValueRequest (note), DeviceMessages::identityRequest(),
                           DeviceMessages::calibrationCommit(), DeviceMessages::firmwareUpdateRequest(), DeviceMessages::noteOn (note),
                           DeviceMessages::noteOff (note) })
    {
        require (midibytes::isCompleteMessage (m.getRawData(), (size_t) m.getRawDataSize(), 64), "a builder made incomplete MIDI");
        checkParsers (m);
    }
    return 0;
}

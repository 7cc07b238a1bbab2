#include "DeviceMessages.h"

#include <vector>

namespace
{
constexpr juce::uint8 sysexStart = 0xF0;
constexpr juce::uint8 sysexEnd = 0xF7;
constexpr juce::uint8 manufacturer = 0x47;
constexpr juce::uint8 model = 0x2A;
constexpr juce::uint8 calibrationValueCommand = 0x24;
constexpr juce::uint8 calibrationCommitCommand = 0x2A;
constexpr juce::uint8 firmwareUpdateCommand = 0x72;

juce::MidiMessage fromBytes (std::initializer_list<juce::uint8> bytes)
{
    const std::vector<juce::uint8> data (bytes);
    return juce::MidiMessage (data.data(), (int) data.size(), 0.0);
}

juce::MidiMessage valueMessage (int note, juce::uint16 value)
{
    return fromBytes ({ sysexStart, manufacturer, 0x00, model, calibrationValueCommand, 0x00, 0x05,
                        (juce::uint8) (note & 0xFF),
                        (juce::uint8) ((value >> 12) & 0xFF), (juce::uint8) ((value >> 8) & 0x0F),
                        (juce::uint8) ((value >> 4) & 0x0F), (juce::uint8) (value & 0x0F), sysexEnd });
}

std::vector<juce::uint8> copyOfRawData (const juce::MidiMessage& message)
{
    const auto* raw = message.getRawData();
    return { raw, raw + message.getRawDataSize() };
}
} // namespace

juce::MidiMessage DeviceMessages::identityRequest()
{
    return fromBytes ({ sysexStart, 0x7E, 0x00, 0x06, 0x01, sysexEnd });
}

juce::MidiMessage DeviceMessages::calibrationValueWrite (int note, juce::uint16 value)
{
    return valueMessage (note, value);
}

juce::MidiMessage DeviceMessages::calibrationValueRequest (int note)
{
    return fromBytes ({ sysexStart, manufacturer, 0x00, model, calibrationValueCommand, 0x00, 0x01,
                        (juce::uint8) (note & 0xFF), sysexEnd });
}

juce::MidiMessage DeviceMessages::calibrationCommit()
{
    return fromBytes ({ sysexStart, manufacturer, 0x00, model, calibrationCommitCommand, 0x00, 0x00, sysexEnd });
}

juce::MidiMessage DeviceMessages::firmwareUpdateRequest()
{
    return fromBytes ({ sysexStart, manufacturer, 0x00, model, firmwareUpdateCommand, 0x00, 0x00, sysexEnd });
}

juce::MidiMessage DeviceMessages::noteOn (int note)
{
    return juce::MidiMessage::noteOn (midiChannel, note, (juce::uint8) 127);
}

juce::MidiMessage DeviceMessages::noteOff (int note)
{
    return juce::MidiMessage::noteOff (midiChannel, note, (juce::uint8) 0);
}

juce::MidiMessage DeviceMessages::rawBytes (const juce::uint8* data, int numBytes)
{
    // Stored as given, never parsed: a slice may start or end inside a SysEx run.
    if (numBytes <= 0)
        return {};
    return juce::MidiMessage (data, numBytes, 0.0);
}

std::optional<DeviceMessages::CalibrationValue> DeviceMessages::parseCalibrationValueReply (const juce::MidiMessage& message)
{
    if (! message.isSysEx())
        return std::nullopt;
    const auto bytes = copyOfRawData (message);
    if (bytes.size() != 13 || bytes[4] != calibrationValueCommand)
        return std::nullopt;
    CalibrationValue result;
    result.note = bytes[7];
    result.value = (juce::uint16) (((bytes[8] & 0x0F) << 12) | ((bytes[9] & 0x0F) << 8)
                                   | ((bytes[10] & 0x0F) << 4) | (bytes[11] & 0x0F));
    return result;
}

std::optional<double> DeviceMessages::parseIdentityReplyVersion (const juce::MidiMessage& message)
{
    if (! message.isSysEx())
        return std::nullopt;
    const auto bytes = copyOfRawData (message);
    if (bytes.size() != 35 || bytes[3] != 0x06 || bytes[4] != 0x02 || bytes[5] != manufacturer || bytes[6] != model)
        return std::nullopt;
    const auto text = juce::String ((int) bytes[9]) + juce::String ((int) bytes[10]) + "."
                      + juce::String ((int) bytes[11]) + juce::String ((int) bytes[12]);
    return text.getDoubleValue();
}

juce::MidiMessage DeviceMessages::identityReply (juce::uint8 d0, juce::uint8 d1, juce::uint8 d2, juce::uint8 d3)
{
    std::vector<juce::uint8> bytes (35, 0x00);
    bytes[0] = sysexStart;
    bytes[1] = 0x7E;
    bytes[2] = 0x00;
    bytes[3] = 0x06;
    bytes[4] = 0x02;
    bytes[5] = manufacturer;
    bytes[6] = model;
    bytes[9] = d0;
    bytes[10] = d1;
    bytes[11] = d2;
    bytes[12] = d3;
    bytes[34] = sysexEnd;
    return juce::MidiMessage (bytes.data(), (int) bytes.size(), 0.0);
}

juce::MidiMessage DeviceMessages::calibrationValueReply (int note, juce::uint16 value)
{
    return valueMessage (note, value);
}

#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <optional>

// The one place that knows the bytes exchanged with the Kestrune.
class DeviceMessages
{
public:
    static constexpr int firstCalibratedNote = 24;
    static constexpr int lastCalibratedNote = 63;
    static constexpr int numCalibratedNotes = lastCalibratedNote - firstCalibratedNote + 1;
    // The version the embedded firmware image installs; a machine reporting
    // less is offered the update.
    static constexpr double latestFirmwareVersion = 1.05;
    static constexpr int midiChannel = 1;

    // Outgoing messages.
    static juce::MidiMessage identityRequest();
    static juce::MidiMessage calibrationValueWrite (int note, juce::uint16 value);
    static juce::MidiMessage calibrationValueRequest (int note);
    static juce::MidiMessage calibrationCommit();
    static juce::MidiMessage firmwareUpdateRequest();
    static juce::MidiMessage noteOn (int note);
    static juce::MidiMessage noteOff (int note);

    // A raw message of any bytes (firmware slices, partial SysEx).
    static juce::MidiMessage rawBytes (const juce::uint8* data, int numBytes);

    // Incoming messages. Each parser looks only at the bytes that identify its
    // message and works on a copy of the raw data.
    struct CalibrationValue
    {
        int note = 0;
        juce::uint16 value = 0;
    };
    static std::optional<CalibrationValue> parseCalibrationValueReply (const juce::MidiMessage& message);
    static std::optional<double> parseIdentityReplyVersion (const juce::MidiMessage& message);

    // An identity reply as the machine sends it (35 bytes), carrying the
    // version digits in bytes 9 to 12.
    static juce::MidiMessage identityReply (juce::uint8 d0, juce::uint8 d1, juce::uint8 d2, juce::uint8 d3);
    // A calibration value reply as the machine sends it: the write's layout.
    static juce::MidiMessage calibrationValueReply (int note, juce::uint16 value);
};

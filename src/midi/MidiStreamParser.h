#pragma once

#include <juce_core/juce_core.h>

#include <vector>

// Cuts a MIDI byte stream, arriving in runs of any size, into complete
// messages: SysEx across runs, running status, real-time bytes anywhere.
class MidiStreamParser
{
public:
    // Longer SysEx messages are dropped whole rather than kept growing.
    static constexpr size_t maxSysexBytes = 1024;

    // True when the byte completes a message, which message() then holds
    // until the next push.
    bool push (juce::uint8 byte);

    const std::vector<juce::uint8>& message() const { return complete; }

    void reset();

private:
    static int dataBytesFor (juce::uint8 status);

    std::vector<juce::uint8> pending, complete;
    juce::uint8 runningStatus = 0;
    int dataBytesNeeded = 0;
    bool inSysex = false;
    bool sysexOverflowed = false;
};

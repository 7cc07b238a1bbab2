#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

using Bytes = std::vector<juce::uint8>;

// A message's bytes as they go over the wire.
inline Bytes bytesOf (const juce::MidiMessage& message)
{
    return { message.getRawData(), message.getRawData() + message.getRawDataSize() };
}

#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// Device messages as short text, so that a test compares what went over the wire at a glance.
namespace enginetest
{
// "request 24", "write 24 65535", "commit", "on 24 127", "off 24", "identity", ...
std::string describe (const juce::MidiMessage& message);
std::vector<std::string> describeAll (const std::vector<juce::MidiMessage>& messages, bool withIdentityRequests = false);
std::vector<std::string> concat (std::initializer_list<std::vector<std::string>> parts);
// "kind 24 value", ... for notes first to last; without valueFor "kind 24", ...
std::vector<std::string> messagesFor (const char* kind, int first, int last, const std::function<int (int)>& valueFor = {});
} // namespace enginetest

#include "MessageText.h"

#include "midi/DeviceMessages.h"

#include <cstring>

namespace enginetest
{
namespace
{
bool sameBytes (const juce::MidiMessage& a, const juce::MidiMessage& b)
{
    return a.getRawDataSize() == b.getRawDataSize()
           && std::memcmp (a.getRawData(), b.getRawData(), (size_t) a.getRawDataSize()) == 0;
}
} // namespace

std::string describe (const juce::MidiMessage& message)
{
    if (sameBytes (message, DeviceMessages::identityRequest()))
        return "identity";
    if (sameBytes (message, DeviceMessages::calibrationCommit()))
        return "commit";
    if (sameBytes (message, DeviceMessages::firmwareUpdateRequest()))
        return "update";
    if (message.isNoteOn())
        return "on " + std::to_string (message.getNoteNumber()) + " " + std::to_string (message.getVelocity());
    if (message.isNoteOff())
        return "off " + std::to_string (message.getNoteNumber());
    if (message.isSysEx() && message.getRawDataSize() == 9 && message.getRawData()[4] == 0x24)
        return "request " + std::to_string (message.getRawData()[7]);
    if (const auto write = DeviceMessages::parseCalibrationValueReply (message))
        return "write " + std::to_string (write->note) + " " + std::to_string (write->value);
    return "other " + std::to_string (message.getRawDataSize());
}

std::vector<std::string> describeAll (const std::vector<juce::MidiMessage>& messages, bool withIdentityRequests)
{
    std::vector<std::string> result;
    for (const auto& m : messages)
        if (auto text = describe (m); withIdentityRequests || text != "identity")
            result.push_back (std::move (text));
    return result;
}

std::vector<std::string> concat (std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> result;
    for (const auto& part : parts)
        result.insert (result.end(), part.begin(), part.end());
    return result;
}

std::vector<std::string> messagesFor (const char* kind, int first, int last, const std::function<int (int)>& valueFor)
{
    std::vector<std::string> result;
    for (int note = first; note <= last; ++note)
        result.push_back (kind + (" " + std::to_string (note)) + (valueFor ? " " + std::to_string (valueFor (note)) : ""));
    return result;
}
} // namespace enginetest

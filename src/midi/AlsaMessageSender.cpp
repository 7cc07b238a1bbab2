#include "AlsaMessageSender.h"

#include <algorithm>

AlsaMessageSender::AlsaMessageSender (Output out) : output (std::move (out)) {}

bool AlsaMessageSender::send (const juce::uint8* data, int size)
{
    const bool resuming = ! pendingEvents.empty() && pendingBytes.size() == (size_t) size
                          && std::equal (pendingBytes.begin(), pendingBytes.end(), data);
    if (! resuming)
    {
        pendingBytes.assign (data, data + size);
        pendingEvents = encoder.encode (data, size);
        nextEvent = 0;
    }
    for (; nextEvent < pendingEvents.size(); ++nextEvent)
        if (! output (pendingEvents[nextEvent]))
            return false;
    pendingEvents.clear();
    pendingBytes.clear();
    return true;
}

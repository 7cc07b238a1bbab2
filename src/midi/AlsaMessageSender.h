#pragma once

#include "AlsaSequencerEncoder.h"

#include <functional>
#include <vector>

// Sends each message's bytes as the encoder's events, in order. When the
// output refuses one part-way (its buffer full), the same message handed in
// again goes on from the first event that did not go out: the events before
// it are inside the device already, and a firmware slice sent again whole
// would repeat them in the middle of the firmware message.
class AlsaMessageSender
{
public:
    using Output = std::function<bool (snd_seq_event_t& event)>;

    explicit AlsaMessageSender (Output output);

    // True when every event of the message went out.
    bool send (const juce::uint8* data, int size);

private:
    Output output;
    AlsaSequencerEncoder encoder;
    // The refused message: its bytes and events (which point into the
    // encoder's storage, kept until the next encode) and where it stopped.
    std::vector<juce::uint8> pendingBytes;
    std::vector<snd_seq_event_t> pendingEvents;
    size_t nextEvent = 0;
};

#pragma once

#include <juce_core/juce_core.h>

#include <vector>

// Whole MIDI events from one writer thread to one reader thread, without
// locks or allocation: the JACK process callback hands what it received to
// the thread that parses and delivers it. An event goes in whole or not at
// all, so a full FIFO drops events rather than splitting one.
class MidiEventFifo
{
public:
    // The largest event a record can carry.
    static constexpr int maxEventBytes = 0xFFFF;

    explicit MidiEventFifo (int capacityBytes);

    // Writer thread. False, with nothing written, when the event is empty,
    // too large or does not fit.
    bool push (const juce::uint8* bytes, int size);

    // Reader thread. Copies the oldest event into destination, which holds
    // maxEventBytes, and returns its size; 0 when there is none.
    int pop (juce::uint8* destination);

private:
    static constexpr int headerBytes = 2;

    void write (int start1, int size1, int start2, int offset, const juce::uint8* bytes, int size);
    void read (juce::uint8* destination, int size);

    juce::AbstractFifo fifo;
    std::vector<juce::uint8> data;
};

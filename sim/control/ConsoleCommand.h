#pragma once

#include <juce_core/juce_core.h>

// One line of kestrune-sim's standard input.
struct ConsoleCommand
{
    enum class Kind
    {
        none,   // blank line
        knob,
        unplug,
        replug,
        replugRefusing,
        unplugAudio,
        replugAudio,
        garbage,
        mute,
        unmute,
        dropReplies,
        dropWrites,
        answerAllNotes,
        restart,
        status,
        quit,
        invalid
    };

    Kind kind = Kind::none;
    // knob: semitones; drop-replies, drop-writes: count; answer-all-notes: 1 or 0; garbage: bytes a second
    double number = 0.0;
    juce::String error;    // for invalid

    static ConsoleCommand parse (const juce::String& line);
};

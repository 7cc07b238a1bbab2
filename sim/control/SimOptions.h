#pragma once

#include "midi/DeviceMessages.h"

#include <juce_core/juce_core.h>

#include <optional>

// The command line of kestrune-sim.
struct SimOptions
{
    enum class Mode
    {
        run,       // the JACK client
        check,     // --check STATEFILE: a stored table's pitches against their targets
        measure,   // --measure V[,V...]: note 24's pitch measured from rendered audio
        help
    };

    Mode mode = Mode::run;
    juce::String clientName = "Kestrune Jack 1";
    juce::String connectToClient = "Kestrune Tuning Utility";
    juce::String firmwareVersion = juce::String (DeviceMessages::latestFirmwareVersion, 2);
    juce::String firmwareVersionAfterUpdate = juce::String (DeviceMessages::latestFirmwareVersion, 2);
    double knobSemitones = 0.0;
    juce::int64 seed = 0;
    juce::String stateFile;
    juce::String logFile;
    bool answerAllNotes = false;
    int dropReplies = 0;
    juce::String checkFile;
    juce::Array<int> measureValues;
    double measureSampleRate = 48000.0;

    // Null with the reason in errorMessage when the arguments make no sense.
    static std::optional<SimOptions> parse (const juce::StringArray& arguments, juce::String& errorMessage);
    static juce::String usage();
};

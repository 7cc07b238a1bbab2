#pragma once

#include "MachineState.h"

#include <optional>

// The machine's non-volatile memory as a text file, one entry a line, so that
// end-to-end tests can read it with grep:
//
//   # Kestrune virtual machine: stored state
//   firmware 1.05        (only after an accepted update)
//   note 24 64821
//   ...
//   note 63 3865
class MachineStateFile
{
public:
    // A missing file is the factory state. A file that exists but is not a
    // complete, valid state gives nullopt and the reason in errorMessage, so
    // that nobody's file is silently replaced.
    static std::optional<MachineState> load (const juce::File& file, juce::String& errorMessage);

    static std::optional<MachineState> parse (const juce::String& text, juce::String& errorMessage);
    static juce::String format (const MachineState& state);

    // Replaces the file in one step (written beside it, then renamed).
    static bool save (const juce::File& file, const MachineState& state);
};

// libFuzzer's entry for one target, chosen by KESTRUNE_FUZZ_ENTRY when the
// fuzz executables are built (scripts/fuzz). Not part of the unit tests.

#include "FuzzTargets.h"

#include <juce_events/juce_events.h>

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // Timers and the MIDI manager need the message manager; no event loop
    // runs. Never shut down: at exit JUCE's own statics may already be gone.
    juce::initialiseJuce_GUI();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    return KESTRUNE_FUZZ_ENTRY (data, size);
}

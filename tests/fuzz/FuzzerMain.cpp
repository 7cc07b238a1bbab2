// libFuzzer's entry for the target KESTRUNE_FUZZ_ENTRY names (scripts/fuzz).

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

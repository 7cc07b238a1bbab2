// libFuzzer's entry for the target KESTRUNE_FUZZ_ENTRY names (scripts/fuzz).

#include "FuzzTargets.h"

#include <juce_events/juce_events.h>

// Timers and the MIDI manager need the message manager, though no event loop
// runs; never shut down, since at exit JUCE's own statics may be gone.
extern "C" int LLVMFuzzerInitialize (int*, char***) { juce::initialiseJuce_GUI(); return 0; }

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size) { return KESTRUNE_FUZZ_ENTRY (data, size); }

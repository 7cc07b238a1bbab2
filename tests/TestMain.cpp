#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <cstdlib>

// Components, timers and message-thread checks need the message manager, but
// no test needs a running event loop: tests drive timer callbacks directly.
int main (int argc, char** argv)
{
#if JUCE_LINUX || JUCE_BSD
    // Unit tests draw into images, never on a screen. Without a display name
    // JUCE connects to :0, and the run dies with whatever X server it found
    // there when that server goes away (other test runs start and stop theirs).
    // "none" is no display name at all: no connection is tried.
    setenv ("DISPLAY", "none", 1);
#endif
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    return RUN_ALL_TESTS();
}

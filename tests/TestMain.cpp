#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

// Components, timers and message-thread checks need the message manager, but
// no test needs a running event loop: tests drive timer callbacks directly.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    return RUN_ALL_TESTS();
}

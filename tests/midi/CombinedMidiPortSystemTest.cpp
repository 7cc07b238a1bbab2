#include "midi/CombinedMidiPortSystem.h"
#include "support/FakeMidiPortSystem.h"

#include <gtest/gtest.h>

// The ports of each system in turn, each reached by its index in the whole list.
TEST (CombinedMidiPortSystem, ListsEverySystemsPortsInTurnAndOpensEachByItsPlace)
{
    auto alsa = std::make_shared<FakeMidiPortSystem>(), jack = std::make_shared<FakeMidiPortSystem>();
    alsa->plugInput ("Keyboard"), alsa->plugOutput ("Synth"), alsa->plugOutput ("Kestrune");
    jack->plugInput ("Kestrune Jack 1"), jack->plugOutput ("Kestrune Jack 1");
    CombinedMidiPortSystem combined ({ alsa, jack });

    EXPECT_EQ (combined.getInputNames(), juce::StringArray ("Keyboard", "Kestrune Jack 1"));
    EXPECT_EQ (combined.getOutputNames(), juce::StringArray ("Synth", "Kestrune", "Kestrune Jack 1"));
    const auto nameOf = [] (const auto& port) { return port != nullptr ? port->getName() : juce::String ("none"); };
    const std::pair<int, const char*> outputs[] = { { -1, "none" }, { 0, "Synth" }, { 1, "Kestrune" }, { 2, "Kestrune Jack 1" }, { 3, "none" } };
    for (const auto& [index, name] : outputs)
        EXPECT_EQ (nameOf (combined.openOutput (index)), name) << index;
    const std::pair<int, const char*> inputs[] = { { -1, "none" }, { 0, "Keyboard" }, { 1, "Kestrune Jack 1" }, { 2, "none" } };
    for (const auto& [index, name] : inputs)
        EXPECT_EQ (nameOf (combined.openInput (index, nullptr)), name) << index;
}

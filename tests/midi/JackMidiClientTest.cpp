#include "midi/JackMidiClient.h"

#include <gtest/gtest.h>

#include <algorithm>

// What the owner picks from in Preferences, for what a JACK server lists.
TEST (JackMidiClient, RemotePortsAreNamedByTheirClientUnlessItHasSeveral)
{
    struct Case
    {
        std::vector<const char*> listed;
        std::vector<std::string> shown;
    };
    const Case cases[] {
        { {}, {} },
        { { "Kestrune Jack 1:midi_in" }, { "Kestrune Jack 1" } },
        { { "Kestrune Tuning Utility:out_1", "Kestrune Jack 1:midi_in", "Kestrune Tuning Utility:out_2" }, { "Kestrune Jack 1" } },
        { { "a2j:Synth [20] (playback): port 0", "Kestrune Jack 1:midi_in", "a2j:Synth [20] (playback): port 1" },
          { "a2j: Synth [20] (playback): port 0", "Kestrune Jack 1", "a2j: Synth [20] (playback): port 1" } },
    };
    for (const auto& c : cases)
    {
        auto listed = c.listed;
        listed.push_back (nullptr);
        std::vector<std::string> shown;
        for (const auto& port : JackMidiClient::nameRemotePorts (listed.data(), "Kestrune Tuning Utility"))
        {
            EXPECT_TRUE (std::any_of (c.listed.begin(), c.listed.end(), [&] (const char* p) { return port.fullName == p; })) << port.fullName;
            shown.push_back (port.displayName.toStdString());
        }
        EXPECT_EQ (shown, c.shown);
    }
}

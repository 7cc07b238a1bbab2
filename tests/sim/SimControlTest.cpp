#include "sim/control/SimOptions.h"

#include <gtest/gtest.h>

namespace
{
std::optional<SimOptions> parse (const juce::String& commandLine, juce::String& error)
{
    return SimOptions::parse (juce::StringArray::fromTokens (commandLine, " ", "\""), error);
}
} // namespace

TEST (SimOptions, EveryOptionIsTakenAndNonsenseRefusedWithAReason)
{
    juce::String error;
    const auto defaults = parse ("", error);
    EXPECT_EQ (defaults->clientName + "/" + defaults->connectToClient + "/" + defaults->firmwareVersion, "Kestrune Jack 1/Kestrune Tuning Utility/1.05");
    const auto o = parse ("--name Other --version 1.00 --firmware-version-after-update 1.06 --knob -2.5 --seed 17 "
                          "--state s.txt --log l.txt --answer-all-notes --drop-replies 3 --connect-to App", error);
    ASSERT_TRUE (o.has_value()) << error;
    EXPECT_EQ (o->mode, SimOptions::Mode::run);
    EXPECT_EQ (o->clientName + o->firmwareVersion + o->firmwareVersionAfterUpdate + o->stateFile + o->logFile + o->connectToClient,
               "Other1.001.06s.txtl.txtApp");
    EXPECT_EQ (o->knobSemitones, -2.5);
    EXPECT_EQ (o->seed, 17);
    EXPECT_TRUE (o->answerAllNotes);
    EXPECT_EQ (o->dropReplies, 3);
    EXPECT_EQ (parse ("--check state.txt --seed 4", error)->checkFile, "state.txt");
    const auto measure = parse ("--measure 0xFFFF,64821 --rate 44100", error);
    EXPECT_EQ (measure->mode, SimOptions::Mode::measure);
    EXPECT_EQ (measure->measureValues, (juce::Array<int> { 0xFFFF, 64821 }));
    EXPECT_EQ (measure->measureSampleRate, 44100.0);

    for (const auto& [line, reason] : { std::pair { "--version 105", "not a version" }, { "--version", "needs a value" },
                                        { "--knob 13", "-12 to 12" }, { "--knob loud", "-12 to 12" }, { "--seed 1.5", "not an integer" },
                                        { "--drop-replies -1", "not a count" }, { "--measure 70000", "0 to 65535" },
                                        { "--measure 0x", "0 to 65535" }, { "--rate 96000", "44100 or 48000" },
                                        { "--check a --measure 1", "separate commands" }, { "--frobnicate", "unknown option" },
                                        { "stray", "unknown option" } })
    {
        EXPECT_FALSE (parse (line, error).has_value()) << line;
        EXPECT_TRUE (error.contains (reason)) << line << ": " << error;
    }
}

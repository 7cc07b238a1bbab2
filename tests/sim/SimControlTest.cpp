#include "sim/control/ConsoleCommand.h"
#include "sim/control/EventLog.h"
#include "sim/control/SimOptions.h"
#include "sim/model/SimulatedClock.h"

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

TEST (SimConsoleCommand, ParsesEveryCommandAndRefusesTheRest)
{
    using Kind = ConsoleCommand::Kind;
    for (const auto& [line, kind, number] : { std::tuple { "knob -1.25", Kind::knob, -1.25 }, { "  unplug ", Kind::unplug, 0.0 },
                                              { "replug", Kind::replug, 0.0 }, { "replug-refusing", Kind::replugRefusing, 0.0 },
                                              { "unplug-audio", Kind::unplugAudio, 0.0 }, { "replug-audio", Kind::replugAudio, 0.0 },
                                              { "garbage 40000", Kind::garbage, 40000.0 }, { "mute", Kind::mute, 0.0 },
                                              { "unmute", Kind::unmute, 0.0 }, { "drop-replies 5", Kind::dropReplies, 5.0 },
                                              { "drop-writes 3", Kind::dropWrites, 3.0 }, { "answer-all-notes off", Kind::answerAllNotes, 0.0 },
                                              { "restart", Kind::restart, 0.0 }, { "status", Kind::status, 0.0 },
                                              { "quit\r", Kind::quit, 0.0 }, { "", Kind::none, 0.0 } })
    {
        EXPECT_EQ (ConsoleCommand::parse (line).kind, kind) << line;
        EXPECT_EQ (ConsoleCommand::parse (line).number, number) << line;
    }
    for (auto bad : { "knob", "knob x", "knob 1 2", "drop-replies -3", "answer-all-notes maybe", "mute now", "dance", "garbage -1",
                      "garbage 12345678" })
        EXPECT_TRUE (ConsoleCommand::parse (bad).kind == Kind::invalid && ConsoleCommand::parse (bad).error.isNotEmpty()) << bad;
}

TEST (SimEventLog, AppendsMillisecondsSinceStartAndTheEventAtOnce)
{
    SimulatedClock clock (70000);
    juce::TemporaryFile temp (".log");
    {
        EventLog log (temp.getFile().getFullPathName(), clock);
        log.write ("START x");
        clock.advanceMs (1234);
        log.write ("RX F0 F7");
        EXPECT_EQ (temp.getFile().loadFileAsString(), "0 START x\n1234 RX F0 F7\n");
    }
    EventLog (temp.getFile().getFullPathName(), clock).write ("START y");
    EXPECT_EQ (temp.getFile().loadFileAsString(), "0 START x\n1234 RX F0 F7\n0 START y\n");
}

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

TEST (SimOptions, DefaultsAreAFactoryFreshPerfectUnitNamedKestruneJack1)
{
    juce::String error;
    const auto options = parse ("", error);
    ASSERT_TRUE (options.has_value()) << error;
    EXPECT_EQ (options->mode, SimOptions::Mode::run);
    EXPECT_EQ (options->clientName, "Kestrune Jack 1");
    EXPECT_EQ (options->connectToClient, "Kestrune Tuning Utility");
    EXPECT_EQ (options->firmwareVersion, "1.05");
    EXPECT_EQ (options->firmwareVersionAfterUpdate, "1.05");
    EXPECT_EQ (options->knobSemitones, 0.0);
    EXPECT_EQ (options->seed, 0);
    EXPECT_FALSE (options->answerAllNotes);
}

TEST (SimOptions, EveryOptionIsTaken)
{
    juce::String error;
    const auto options = parse ("--name Other --version 1.00 --firmware-version-after-update 1.06 --knob -2.5 --seed 17 "
                                "--state s.txt --log l.txt --answer-all-notes --drop-replies 3 --connect-to App",
                                error);
    ASSERT_TRUE (options.has_value()) << error;
    EXPECT_EQ (options->clientName, "Other");
    EXPECT_EQ (options->firmwareVersion, "1.00");
    EXPECT_EQ (options->firmwareVersionAfterUpdate, "1.06");
    EXPECT_EQ (options->knobSemitones, -2.5);
    EXPECT_EQ (options->seed, 17);
    EXPECT_EQ (options->stateFile, "s.txt");
    EXPECT_EQ (options->logFile, "l.txt");
    EXPECT_TRUE (options->answerAllNotes);
    EXPECT_EQ (options->dropReplies, 3);
    EXPECT_EQ (options->connectToClient, "App");

    const auto check = parse ("--check state.txt --seed 4", error);
    ASSERT_TRUE (check.has_value()) << error;
    EXPECT_EQ (check->mode, SimOptions::Mode::check);
    EXPECT_EQ (check->checkFile, "state.txt");

    const auto measure = parse ("--measure 0xFFFF,64821,30000,3865 --rate 44100", error);
    ASSERT_TRUE (measure.has_value()) << error;
    EXPECT_EQ (measure->mode, SimOptions::Mode::measure);
    EXPECT_EQ (measure->measureValues, (juce::Array<int> { 0xFFFF, 64821, 30000, 3865 }));
    EXPECT_EQ (measure->measureSampleRate, 44100.0);
}

TEST (SimOptions, NonsenseIsRefusedWithAReason)
{
    const std::pair<const char*, const char*> cases[] = {
        { "--version 105", "not a version" },
        { "--version", "needs a value" },
        { "--knob 13", "-12 to 12" },
        { "--knob loud", "-12 to 12" },
        { "--seed 1.5", "not an integer" },
        { "--drop-replies -1", "not a count" },
        { "--measure 70000", "0 to 65535" },
        { "--measure 0x", "0 to 65535" },
        { "--rate 96000", "44100 or 48000" },
        { "--check a --measure 1", "separate commands" },
        { "--frobnicate 1", "unknown option" },
        { "--frobnicate", "unknown option" },
        { "stray", "unknown option" },
    };
    for (const auto& [line, reason] : cases)
    {
        juce::String error;
        EXPECT_FALSE (parse (line, error).has_value()) << line;
        EXPECT_TRUE (error.contains (reason)) << line << ": " << error;
    }
}

TEST (SimConsoleCommand, ParsesEveryCommand)
{
    using Kind = ConsoleCommand::Kind;
    EXPECT_EQ (ConsoleCommand::parse ("knob -1.25").kind, Kind::knob);
    EXPECT_EQ (ConsoleCommand::parse ("knob -1.25").number, -1.25);
    EXPECT_EQ (ConsoleCommand::parse ("  unplug ").kind, Kind::unplug);
    EXPECT_EQ (ConsoleCommand::parse ("replug").kind, Kind::replug);
    EXPECT_EQ (ConsoleCommand::parse ("replug-refusing").kind, Kind::replugRefusing);
    EXPECT_EQ (ConsoleCommand::parse ("unplug-audio").kind, Kind::unplugAudio);
    EXPECT_EQ (ConsoleCommand::parse ("replug-audio").kind, Kind::replugAudio);
    EXPECT_EQ (ConsoleCommand::parse ("garbage 40000").kind, Kind::garbage);
    EXPECT_EQ (ConsoleCommand::parse ("garbage 40000").number, 40000.0);
    EXPECT_EQ (ConsoleCommand::parse ("garbage 0").number, 0.0);
    EXPECT_EQ (ConsoleCommand::parse ("mute").kind, Kind::mute);
    EXPECT_EQ (ConsoleCommand::parse ("unmute").kind, Kind::unmute);
    EXPECT_EQ (ConsoleCommand::parse ("drop-replies 5").number, 5.0);
    EXPECT_EQ (ConsoleCommand::parse ("drop-writes 3").kind, Kind::dropWrites);
    EXPECT_EQ (ConsoleCommand::parse ("drop-writes 3").number, 3.0);
    EXPECT_EQ (ConsoleCommand::parse ("answer-all-notes off").number, 0.0);
    EXPECT_EQ (ConsoleCommand::parse ("restart").kind, Kind::restart);
    EXPECT_EQ (ConsoleCommand::parse ("status").kind, Kind::status);
    EXPECT_EQ (ConsoleCommand::parse ("quit\r").kind, Kind::quit);
    EXPECT_EQ (ConsoleCommand::parse ("").kind, Kind::none);

    for (auto bad : { "knob", "knob x", "knob 1 2", "drop-replies -3", "drop-writes x", "answer-all-notes maybe", "mute now", "dance",
                      "garbage", "garbage -1", "garbage lots", "garbage 12345678", "unplug-audio now" })
    {
        const auto command = ConsoleCommand::parse (bad);
        EXPECT_EQ (command.kind, Kind::invalid) << bad;
        EXPECT_TRUE (command.error.isNotEmpty());
    }
}

TEST (SimEventLog, LinesAreMillisecondsSinceStartThenTheEvent)
{
    SimulatedClock clock (70000);
    juce::TemporaryFile temp (".log");
    {
        EventLog log (temp.getFile().getFullPathName(), clock);
        ASSERT_TRUE (log.isOpen());
        log.write ("START x");
        clock.advanceMs (1234);
        log.write ("RX F0 7E 00 06 01 F7");
        // Written through at once, so that a test can read it while the machine runs.
        EXPECT_EQ (temp.getFile().loadFileAsString(), "0 START x\n1234 RX F0 7E 00 06 01 F7\n");
    }
    EventLog again (temp.getFile().getFullPathName(), clock);
    again.write ("START y");
    EXPECT_TRUE (temp.getFile().loadFileAsString().endsWith ("1234 RX F0 7E 00 06 01 F7\n0 START y\n")) << "appends";
}

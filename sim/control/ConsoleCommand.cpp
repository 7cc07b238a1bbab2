#include "ConsoleCommand.h"

#include <cmath>

ConsoleCommand ConsoleCommand::parse (const juce::String& line)
{
    auto words = juce::StringArray::fromTokens (line.trim(), " \t", {});
    words.removeEmptyStrings();

    ConsoleCommand command;
    if (words.isEmpty())
        return command;

    const auto invalid = [&] (const juce::String& why)
    {
        command.kind = Kind::invalid;
        command.error = why;
        return command;
    };

    const auto& word = words[0];
    const auto argument = words[1];
    const auto wantsArgument = word == "knob" || word == "drop-replies" || word == "drop-writes" || word == "answer-all-notes" || word == "garbage";
    if (words.size() != (wantsArgument ? 2 : 1))
        return invalid ("wrong number of arguments: " + line.trim());

    if (word == "knob")
    {
        const auto value = argument.getDoubleValue();
        if (! argument.containsOnly ("0123456789.-+") || ! argument.containsAnyOf ("0123456789") || ! std::isfinite (value))
            return invalid ("knob: not a number: " + argument);
        command.kind = Kind::knob;
        command.number = value;
    }
    else if (word == "drop-replies" || word == "drop-writes")
    {
        if (! argument.containsOnly ("0123456789") || argument.length() > 6)
            return invalid (word + ": not a count: " + argument);
        command.kind = word == "drop-replies" ? Kind::dropReplies : Kind::dropWrites;
        command.number = argument.getIntValue();
    }
    else if (word == "garbage")
    {
        if (! argument.containsOnly ("0123456789") || argument.length() > 7)
            return invalid ("garbage: bytes a second, 0 to stop: " + argument);
        command.kind = Kind::garbage;
        command.number = argument.getIntValue();
    }
    else if (word == "answer-all-notes")
    {
        if (argument != "on" && argument != "off")
            return invalid ("answer-all-notes: on or off");
        command.kind = Kind::answerAllNotes;
        command.number = argument == "on" ? 1.0 : 0.0;
    }
    else if (word == "unplug")
        command.kind = Kind::unplug;
    else if (word == "replug")
        command.kind = Kind::replug;
    else if (word == "replug-refusing")
        command.kind = Kind::replugRefusing;
    else if (word == "unplug-audio")
        command.kind = Kind::unplugAudio;
    else if (word == "replug-audio")
        command.kind = Kind::replugAudio;
    else if (word == "mute")
        command.kind = Kind::mute;
    else if (word == "unmute")
        command.kind = Kind::unmute;
    else if (word == "restart")
        command.kind = Kind::restart;
    else if (word == "status")
        command.kind = Kind::status;
    else if (word == "quit")
        command.kind = Kind::quit;
    else
        return invalid ("unknown command: " + word);

    return command;
}

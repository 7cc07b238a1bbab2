#include "SimOptions.h"

#include "sim/model/VirtualKestrune.h"

#include <cmath>

namespace
{
bool isInteger (const juce::String& s)
{
    const auto digits = s.startsWithChar ('-') ? s.substring (1) : s;
    return digits.isNotEmpty() && digits.length() <= 18 && digits.containsOnly ("0123456789");
}

bool isNumber (const juce::String& s)
{
    return s.isNotEmpty() && s.containsOnly ("0123456789.-+eE") && std::isfinite (s.getDoubleValue())
           && (s.containsAnyOf ("0123456789"));
}
} // namespace

juce::String SimOptions::usage()
{
    const SimOptions defaults;
    const auto firstNote = juce::String (DeviceMessages::firstCalibratedNote);
    const auto lastNote = juce::String (DeviceMessages::lastCalibratedNote);
    return juce::String ("kestrune-sim: the virtual Kestrune, a JACK client with ports midi_in, midi_out and synth_out.\n"
           "\n"
           "  kestrune-sim [options]                 run, reading commands from standard input\n"
           "  kestrune-sim --check STATEFILE [--seed N] [--knob K]\n"
           "                                         each note's pitch against its target, in cents\n"
           "  kestrune-sim --measure V[,V...] [--seed N] [--knob K] [--rate 44100|48000]\n"
           "                                         note ") + firstNote + "'s pitch at those values, measured from its audio\n"
           "\n"
           "Options:\n"
           "  --name NAME                        JACK client name (Kestrune Jack 1)\n"
           "  --connect-to CLIENT                whose audio inputs synth_out feeds (Kestrune Tuning Utility)\n"
           "  --version V                        firmware version reported (" + defaults.firmwareVersion + "), e.g. 1.00\n"
           "  --firmware-version-after-update V  version reported after an accepted update ("
           + defaults.firmwareVersionAfterUpdate + ")\n"
           "  --knob K                           Tune knob offset in semitones, -12 to 12 (0)\n"
           "  --seed N                           which unit: its pitch deviation; 0 is a perfect unit (0)\n"
           "  --state FILE                       stored calibration (and installed firmware), kept across runs;\n"
           "                                     missing: factory state; updated on every commit\n"
           "  --log FILE                         event log (default: standard output)\n"
           "  --answer-all-notes                 answer calibration requests for every note, not just " + firstNote
           + " to " + lastNote + "\n"
           "  --drop-replies N                   do not send the first N calibration value replies\n"
           "\n"
           "Commands on standard input, one a line:\n"
           "  knob X | unplug | replug | mute | unmute | drop-replies N | drop-writes N | answer-all-notes on|off\n"
           "  restart | status | quit\n"
           "  unplug-audio | replug-audio           synth_out loses its connections / connects again\n"
           "  replug-refusing                        ports listed, connections refused until replug\n"
           "  garbage N                              noise on midi_out, N bytes a second (0 stops)\n";
}

std::optional<SimOptions> SimOptions::parse (const juce::StringArray& args, juce::String& error)
{
    SimOptions options;
    bool modeChosen = false;

    for (int i = 0; i < args.size(); ++i)
    {
        const auto& arg = args[i];
        static const juce::StringArray valueOptions { "--name", "--connect-to", "--version", "--firmware-version-after-update",
                                                      "--knob", "--seed", "--state", "--log", "--drop-replies",
                                                      "--check", "--measure", "--rate" };
        const auto takesValue = valueOptions.contains (arg);
        if (takesValue && i + 1 >= args.size())
        {
            error = arg + " needs a value";
            return std::nullopt;
        }
        const auto value = takesValue ? args[++i] : juce::String();

        const auto chooseMode = [&] (Mode mode)
        {
            if (modeChosen)
                return false;
            modeChosen = true;
            options.mode = mode;
            return true;
        };

        if (arg == "--help" || arg == "-h")
        {
            options.mode = Mode::help;
            return options;
        }
        if (arg == "--name")
            options.clientName = value;
        else if (arg == "--connect-to")
            options.connectToClient = value;
        else if (arg == "--version" || arg == "--firmware-version-after-update")
        {
            std::array<juce::uint8, 4> digits {};
            if (! VirtualKestrune::versionDigits (value, digits))
            {
                error = arg + ": not a version like 1.05: " + value;
                return std::nullopt;
            }
            (arg == "--version" ? options.firmwareVersion : options.firmwareVersionAfterUpdate) = value;
        }
        else if (arg == "--knob")
        {
            if (! isNumber (value) || std::abs (value.getDoubleValue()) > 12.0)
            {
                error = "--knob: a number of semitones from -12 to 12: " + value;
                return std::nullopt;
            }
            options.knobSemitones = value.getDoubleValue();
        }
        else if (arg == "--seed")
        {
            if (! isInteger (value))
            {
                error = "--seed: not an integer: " + value;
                return std::nullopt;
            }
            options.seed = value.getLargeIntValue();
        }
        else if (arg == "--state")
            options.stateFile = value;
        else if (arg == "--log")
            options.logFile = value;
        else if (arg == "--answer-all-notes")
            options.answerAllNotes = true;
        else if (arg == "--drop-replies")
        {
            if (! isInteger (value) || value.getIntValue() < 0 || value.length() > 6)
            {
                error = "--drop-replies: not a count: " + value;
                return std::nullopt;
            }
            options.dropReplies = value.getIntValue();
        }
        else if (arg == "--check")
        {
            if (! chooseMode (Mode::check))
            {
                error = "--check and --measure are separate commands";
                return std::nullopt;
            }
            options.checkFile = value;
        }
        else if (arg == "--measure")
        {
            if (! chooseMode (Mode::measure))
            {
                error = "--check and --measure are separate commands";
                return std::nullopt;
            }
            for (const auto& item : juce::StringArray::fromTokens (value, ",", {}))
            {
                const auto text = item.trim();
                const auto number = text.startsWithIgnoreCase ("0x") ? text.substring (2).getHexValue32()
                                                                     : text.getIntValue();
                const auto valid = text.startsWithIgnoreCase ("0x") ? (text.length() > 2 && text.length() <= 6 && text.substring (2).containsOnly ("0123456789abcdefABCDEF"))
                                                                    : (isInteger (text) && text.length() <= 5);
                if (! valid || number < 0 || number > 0xFFFF)
                {
                    error = "--measure: not a calibration value 0 to 65535: " + text;
                    return std::nullopt;
                }
                options.measureValues.add (number);
            }
        }
        else if (arg == "--rate")
        {
            if (value != "44100" && value != "48000")
            {
                error = "--rate: 44100 or 48000";
                return std::nullopt;
            }
            options.measureSampleRate = value.getDoubleValue();
        }
        else
        {
            error = "unknown option: " + arg;
            return std::nullopt;
        }
    }

    if (options.clientName.isEmpty())
    {
        error = "--name must not be empty";
        return std::nullopt;
    }
    return options;
}

// kestrune-sim: the virtual Kestrune on a JACK server (see --help).
//
// Log format: one event a line, "<ms since start> <EVENT> <details>", where
// hex bytes are upper case and separated by single spaces:
//
//   <ms> START name=<client> version=<v> knob=<k> seed=<n> state=<file>
//   <ms> PORTS plugged client=<name> rate=<Hz> | PORTS unplugged
//   <ms> PORTS connected synth_out -> <client:port>
//   <ms> PORTS audio unplugged | PORTS audio replugged
//   <ms> GARBAGE rate=<bytes/s> sent-bytes=<n> sent-events=<n>   noise rate set; noise sent so far
//   <ms> RX-FRAME <frame>         the JACK frame time at which the next RX event arrived
//   <ms> RX <hex>                 bytes received in one MIDI event, as they came
//   <ms> TX <hex>                 a reply sent
//   <ms> DROP <hex>               a calibration value reply withheld (drop-replies)
//   <ms> NOREPLY <note>           a calibration value request left unanswered
//   <ms> VALUE <note> <value> hz=<pitch>   a working value set
//   <ms> NOTE on <note> value=<v> hz=<pitch> | NOTE off <note> | NOTE on <note> ignored
//   <ms> STATE commit | STATE restart | STATE saved <file> | STATE save-failed <file>
//   <ms> FIRMWARE request
//   <ms> FIRMWARE accepted bytes=<n> records=<n> version=<v>
//   <ms> FIRMWARE rejected bytes=<n> records=<n> error=<first error>
//   <ms> KNOB <semitones> | MUTE on | MUTE off | DROP-REPLIES <n>
//   <ms> COMMAND <line> | COMMAND-ERROR <reason>
//   <ms> STATUS plugged=<0|1> version=<v> knob=<k> note=<n> hz=<pitch>
//   <ms> RX-LOST events=<n> | TX-LOST <n> bytes
//   <ms> QUIT <reason>
//
// Exit status: 0 after quit or a signal, 1 bad arguments, 2 unusable state
// file, 3 no JACK server or the server went away.

#include "JackKestrune.h"
#include "sim/control/ConsoleCommand.h"
#include "sim/control/SimOptions.h"
#include "sim/model/CalibrationCheck.h"
#include "sim/model/MachineStateFile.h"
#include "sim/model/PitchMeter.h"

#include "midi/DeviceMessages.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <poll.h>
#include <unistd.h>

namespace
{
volatile std::sig_atomic_t signalled = 0;

void onSignal (int)
{
    signalled = 1;
}

int runCheck (const SimOptions& options)
{
    juce::String error;
    const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (options.checkFile);
    if (! file.existsAsFile())
    {
        std::cerr << "kestrune-sim: no state file " << file.getFullPathName() << "\n";
        return 2;
    }
    const auto state = MachineStateFile::load (file, error);
    if (! state.has_value())
    {
        std::cerr << "kestrune-sim: " << error << "\n";
        return 2;
    }
    std::cout << CalibrationCheck (*state, PitchCurve (options.seed), options.knobSemitones).format();
    return 0;
}

int runMeasure (const SimOptions& options)
{
    const auto rate = options.measureSampleRate;
    for (auto value : options.measureValues)
    {
        VirtualKestrune::Options machineOptions;
        machineOptions.seed = options.seed;
        machineOptions.knobSemitones = options.knobSemitones;
        VirtualKestrune machine (machineOptions);
        constexpr int note = DeviceMessages::firstCalibratedNote;
        machine.receive (DeviceMessages::calibrationValueWrite (note, (juce::uint16) value));
        machine.receive (DeviceMessages::noteOn (note));

        std::vector<float> audio ((size_t) (3.0 * rate));
        for (size_t offset = 0; offset < audio.size(); offset += 512)
            machine.renderAudio (audio.data() + offset, (int) std::min<size_t> (512, audio.size() - offset), rate);
        const auto skip = (size_t) (0.1 * rate);   // past the gate's ramp and the filter's settling
        const auto measured = PitchMeter::measure (audio.data() + skip, (int) (audio.size() - skip), rate);
        const auto model = machine.getSoundingFrequency();

        std::cout << "measure note " << note << " value " << value << " knob " << options.knobSemitones << " seed " << options.seed
                  << " model " << juce::String (model, 4) << " Hz measured " << juce::String (measured, 4) << " Hz\n";
    }
    return 0;
}

// Reads whole lines from standard input without blocking.
class StandardInput
{
public:
    bool isOpen() const { return open; }

    juce::StringArray readLines()
    {
        juce::StringArray lines;
        while (open)
        {
            pollfd fd { STDIN_FILENO, POLLIN, 0 };
            if (poll (&fd, 1, 0) <= 0 || (fd.revents & (POLLIN | POLLHUP)) == 0)
                break;
            char buffer[512];
            const auto n = read (STDIN_FILENO, buffer, sizeof (buffer));
            if (n <= 0)
            {
                // End of input is not a quit: the machine keeps running
                // until told to or signalled.
                open = false;
                break;
            }
            pending.append (buffer, (size_t) n);
        }
        for (auto newline = pending.find ('\n'); newline != std::string::npos; newline = pending.find ('\n'))
        {
            lines.add (juce::String::fromUTF8 (pending.data(), (int) newline));
            pending.erase (0, newline + 1);
        }
        if (pending.size() > 4096)
            pending.clear();   // no command is that long
        return lines;
    }

private:
    bool open = true;
    std::string pending;
};

int run (const SimOptions& options)
{
    MachineState initial;
    juce::File stateFile;
    if (options.stateFile.isNotEmpty())
    {
        stateFile = juce::File::getCurrentWorkingDirectory().getChildFile (options.stateFile);
        juce::String error;
        const auto loaded = MachineStateFile::load (stateFile, error);
        if (! loaded.has_value())
        {
            std::cerr << "kestrune-sim: " << error << "\n";
            return 2;
        }
        initial = *loaded;
    }

    EventLog log (options.logFile);
    if (! log.isOpen())
    {
        std::cerr << "kestrune-sim: cannot write the log " << options.logFile << "\n";
        return 1;
    }

    VirtualKestrune::Options machineOptions;
    machineOptions.initialState = initial;
    machineOptions.firmwareVersion = options.firmwareVersion;
    machineOptions.firmwareVersionAfterUpdate = options.firmwareVersionAfterUpdate;
    machineOptions.knobSemitones = options.knobSemitones;
    machineOptions.seed = options.seed;
    machineOptions.answerAllNotes = options.answerAllNotes;
    VirtualKestrune machine (machineOptions);

    log.write ("START name=" + options.clientName + " version=" + machine.getFirmwareVersion()
               + " knob=" + juce::String (options.knobSemitones) + " seed=" + juce::String (options.seed)
               + " state=" + (stateFile == juce::File() ? juce::String ("none") : stateFile.getFullPathName()));

    machine.setLogSink ([&log] (const juce::String& line) { log.write (line); });
    if (stateFile != juce::File())
        machine.setStateSink ([&log, stateFile] (const MachineState& stored)
                              {
                                  const auto saved = MachineStateFile::save (stateFile, stored);
                                  log.write ((saved ? "STATE saved " : "STATE save-failed ") + stateFile.getFullPathName());
                              });
    if (options.dropReplies > 0)
        machine.dropNextReplies (options.dropReplies);

    JackKestrune jack (machine, log, options.clientName, options.connectToClient);
    juce::String error;
    if (! jack.plug (error))
    {
        log.write ("QUIT " + error);
        std::cerr << "kestrune-sim: " << error << "\n";
        return 3;
    }

    std::signal (SIGINT, onSignal);
    std::signal (SIGTERM, onSignal);
    std::signal (SIGPIPE, SIG_IGN);

    StandardInput input;
    int exitCode = 0;
    juce::String quitReason;

    while (quitReason.isEmpty())
    {
        jack.service();
        machine.tick();

        if (jack.hasServerGone())
        {
            quitReason = "JACK server gone";
            exitCode = 3;
            break;
        }
        if (signalled != 0)
        {
            quitReason = "signal";
            break;
        }

        for (const auto& line : input.readLines())
        {
            const auto command = ConsoleCommand::parse (line);
            if (command.kind == ConsoleCommand::Kind::none)
                continue;
            if (command.kind == ConsoleCommand::Kind::invalid)
            {
                log.write ("COMMAND-ERROR " + command.error);
                continue;
            }
            log.write ("COMMAND " + line.trim());

            switch (command.kind)
            {
                case ConsoleCommand::Kind::knob: machine.setKnob (command.number); break;
                case ConsoleCommand::Kind::unplug: jack.unplug(); break;
                case ConsoleCommand::Kind::replug:
                    if (! jack.plug (error))
                        log.write ("COMMAND-ERROR replug: " + error);
                    break;
                case ConsoleCommand::Kind::replugRefusing:
                    if (! jack.plug (error, false))
                        log.write ("COMMAND-ERROR replug-refusing: " + error);
                    break;
                case ConsoleCommand::Kind::unplugAudio: jack.unplugAudio(); break;
                case ConsoleCommand::Kind::replugAudio: jack.replugAudio(); break;
                case ConsoleCommand::Kind::garbage: jack.setGarbageRate ((int) command.number); break;
                case ConsoleCommand::Kind::mute: machine.setMuted (true); break;
                case ConsoleCommand::Kind::unmute: machine.setMuted (false); break;
                case ConsoleCommand::Kind::dropReplies: machine.dropNextReplies ((int) command.number); break;
                case ConsoleCommand::Kind::dropWrites: machine.dropNextWrites ((int) command.number); break;
                case ConsoleCommand::Kind::answerAllNotes: machine.setAnswerAllNotes (command.number > 0.0); break;
                case ConsoleCommand::Kind::restart: machine.restart(); break;
                case ConsoleCommand::Kind::status:
                    log.write ("STATUS plugged=" + juce::String (jack.isPlugged() ? 1 : 0) + " version="
                               + machine.getFirmwareVersion() + " knob=" + juce::String (machine.getKnob())
                               + " note=" + juce::String (machine.getSoundingNote())
                               + " hz=" + juce::String (machine.getSoundingFrequency(), 3));
                    break;
                case ConsoleCommand::Kind::quit: quitReason = "command"; break;
                case ConsoleCommand::Kind::none:
                case ConsoleCommand::Kind::invalid: break;
            }
        }

        juce::Thread::sleep (1);
    }

    jack.unplug();
    log.write ("QUIT " + quitReason);
    return exitCode;
}
} // namespace

int main (int argc, char** argv)
{
    juce::StringArray arguments;
    for (int i = 1; i < argc; ++i)
        arguments.add (juce::String::fromUTF8 (argv[i]));

    juce::String error;
    const auto options = SimOptions::parse (arguments, error);
    if (! options.has_value())
    {
        std::cerr << "kestrune-sim: " << error << "\n\n" << SimOptions::usage();
        return 1;
    }

    switch (options->mode)
    {
        case SimOptions::Mode::help: std::cout << SimOptions::usage(); return 0;
        case SimOptions::Mode::check: return runCheck (*options);
        case SimOptions::Mode::measure: return runMeasure (*options);
        case SimOptions::Mode::run: break;
    }
    return run (*options);
}

// e2e-firmware-stream: a firmware update without windows, for end-to-end
// tests. Opens one machine's MIDI ports through the JACK port system, lets the
// tuning engine stream its embedded image, and prints what happens, one event
// a line as "<ms since start> <EVENT> <details>":
//
//   <ms> STATUS <text>            the sender's status, when it changes
//   <ms> SENT <slice> <ms.us>     a slice handed to the output (index from 0),
//                                 and when, to the microsecond
//   <ms> UNPLUGGED <slice>        the machine was unplugged before this slice
//   <ms> REPLUG                   the machine was told to come back
//   <ms> COMPLETED                the whole image was sent
//   <ms> VERSION <v>              an identity reply after the transfer
//   <ms> ERROR <reason>
//
// With --start-calibration it streams nothing: once the machine's version is
// known it starts a calibration (the 41 paced read-back requests), waits for
// the replies, then does what the application does at quit (note-off for
// notes 24 to 63, then every port closes):
//
//   <ms> VERSION <v>              the version that allows a calibration
//   <ms> REQUESTED <ms>           startTuningCalibration returned after so long
//   <ms> REPLIES <n>              calibration value replies received
//   <ms> NOTE-OFFS                the quit note-offs were sent
//   <ms> CLOSED <us>              closing the outputs took so many microseconds
//
// With --unplug-at N the machine (kestrune-sim, through its command FIFO) is
// unplugged just before slice N goes out and replugged --replug-after-ms
// later. The unplug waits until the slices already sent have left and until
// the port is gone from the system, so that it falls between two slices: a
// slice sent into a vanishing port would be lost whatever the sender did.
//
// Exit status: 0 once the version was read back after the transfer, 1 on
// bad arguments or any failure, 2 on time-out.

#include "midi/DeviceMessages.h"
#include "midi/JackMidiPortSystem.h"
#include "midi/MidiManager.h"
#include "tuning/TuneKestruneEngine.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <iostream>

namespace
{
struct Options
{
    juce::String port = "Kestrune Jack 1";
    int unplugAt = -1;
    juce::String commandFifo;
    int replugAfterMs = 2000;
    int timeoutMs = 120000;
    bool startCalibration = false;
};

bool parse (int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i)
    {
        const juce::String arg (argv[i]);
        if (arg == "--start-calibration")
        {
            options.startCalibration = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const juce::String value (argv[++i]);
        if (arg == "--port")
            options.port = value;
        else if (arg == "--unplug-at")
            options.unplugAt = value.getIntValue();
        else if (arg == "--commands")
            options.commandFifo = value;
        else if (arg == "--replug-after-ms")
            options.replugAfterMs = value.getIntValue();
        else if (arg == "--timeout-ms")
            options.timeoutMs = value.getIntValue();
        else
            return false;
    }
    return options.unplugAt < 0 || options.commandFifo.isNotEmpty();
}

class Driver : public FirmwareSysexSender::Listener,
               public TuneKestruneEngine::StatusListener
{
public:
    Driver (const Options& optionsToUse, MidiManager& midiToUse)
        : options (optionsToUse), midi (midiToUse)
    {
    }

    void log (const juce::String& line)
    {
        const auto ms = juce::Time::getMillisecondCounter() - startMs;
        std::cout << ms << " " << line << std::endl;
    }

    void firmwareProgressChanged (FirmwareSysexSender* sender, double) override
    {
        const auto next = (int) sender->getNextPacket();
        if (next == lastNextPacket)
            return;
        lastNextPacket = next;
        log ("SENT " + juce::String (next - 1) + " "
             + juce::String (juce::Time::getMillisecondCounterHiRes() - (double) startMs, 3));
        if (next == options.unplugAt && ! unplugged)
            unplug (next);
    }

    void firmwareStatusChanged (FirmwareSysexSender*, const juce::String& status) override
    {
        if (status == lastStatus)
            return;
        lastStatus = status;
        log ("STATUS " + status);
        if (status == FirmwareSysexSender::statusCompleted)
        {
            log ("COMPLETED");
            latestVersion.store (0.0); // only a reply from the new firmware counts
            completed = true;
        }
    }

    void frequencyDetected (float) override {}
    void tuningNoteChanged (int) override {}
    void tuningStarted() override {}
    void tuningStopped() override {}
    void tuningFailed() override {}
    void tuningProgressChanged (double) override {}

    // MIDI input thread.
    void firmwareVersionReceived (double version) override { latestVersion.store (version); }

    bool isCompleted() const { return completed; }
    double getLatestVersion() const { return latestVersion.load(); }
    bool hasFailed() const { return failed; }

    // Called by the event loop between messages.
    void idle()
    {
        if (replugAtMs == 0 || juce::Time::getMillisecondCounter() < replugAtMs)
            return;
        replugAtMs = 0;
        log ("REPLUG");
        tellMachine ("replug");
    }

private:
    // False, logged and counted as a failure, when the command cannot be written.
    bool tellMachine (const juce::String& command)
    {
        // Plain stdio: juce::FileOutputStream would seek, which a FIFO cannot.
        if (auto* file = std::fopen (options.commandFifo.toRawUTF8(), "w"))
        {
            const auto line = command + "\n";
            const bool written = std::fputs (line.toRawUTF8(), file) >= 0;
            if (std::fclose (file) == 0 && written)
                return true;
        }
        log ("ERROR cannot write to " + options.commandFifo);
        failed = true;
        return false;
    }

    void unplug (int slice)
    {
        unplugged = true;
        // The slices sent so far leave with the next JACK periods.
        juce::Thread::sleep (100);
        if (! tellMachine ("unplug"))
            return;
        const auto deadline = juce::Time::getMillisecondCounter() + 5000;
        while (midi.isOutputDeviceAvailable (options.port))
        {
            if (juce::Time::getMillisecondCounter() > deadline)
            {
                log ("ERROR the port did not go away");
                failed = true;
                return;
            }
            juce::Thread::sleep (5);
        }
        log ("UNPLUGGED " + juce::String (slice));

        // Timed here rather than by a juce::Timer, which counts the time the
        // message thread spent in this function against the delay.
        replugAtMs = juce::Time::getMillisecondCounter() + (juce::uint32) options.replugAfterMs;
    }

    const Options& options;
    MidiManager& midi;
    const juce::uint32 startMs = juce::Time::getMillisecondCounter();
    int lastNextPacket = 0;
    juce::String lastStatus;
    bool unplugged = false;
    juce::uint32 replugAtMs = 0;
    bool completed = false;
    bool failed = false;
    std::atomic<double> latestVersion { 0.0 };
};

// Counts the machine's calibration value replies (MIDI input thread).
class ReplyCounter : public MidiManager::Listener
{
public:
    void midiMessageReceived (MidiInputPort*, const juce::MidiMessage& message) override
    {
        if (DeviceMessages::parseCalibrationValueReply (message).has_value())
            ++replies;
    }
    void midiInputDeviceRemoved (const juce::String&) override {}
    void midiOutputDeviceRemoved (const juce::String&) override {}

    std::atomic<int> replies { 0 };
};

bool runUntil (int timeoutMs, const std::function<bool()>& done, Driver* driver = nullptr)
{
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! done())
    {
        if (juce::Time::getMillisecondCounter() > deadline)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
        if (driver != nullptr)
            driver->idle();
    }
    return true;
}

int startCalibration (MidiManager& midi, TuneKestruneEngine& engine, Driver& driver)
{
    if (! runUntil (10000, [&] { return driver.getLatestVersion() > 1.0; }))
    {
        driver.log ("ERROR no version above 1.0");
        return 2;
    }
    driver.log ("VERSION " + juce::String (driver.getLatestVersion(), 2));

    ReplyCounter counter;
    midi.addListener (&counter);
    const auto before = juce::Time::getMillisecondCounterHiRes();
    const auto started = engine.startTuningCalibration();
    const auto took = juce::Time::getMillisecondCounterHiRes() - before;
    int status = 0;
    if (! started)
    {
        driver.log ("ERROR the engine refused to start");
        status = 1;
    }
    else
    {
        driver.log ("REQUESTED " + juce::String (took, 1));
        // The machine answers the 40 notes it calibrates, not the 41st.
        runUntil (3000, [&] { return counter.replies.load() >= 40; });
        driver.log ("REPLIES " + juce::String (counter.replies.load()));
        status = counter.replies.load() == 40 ? 0 : 1;
    }
    midi.removeListener (&counter);

    // What the application does at quit: the note-offs, then the ports go
    // with everything else; closing must not wait for them to leave.
    for (int note = DeviceMessages::firstCalibratedNote; note <= DeviceMessages::lastCalibratedNote; ++note)
        midi.sendMessageToAllOutputs (DeviceMessages::noteOff (note));
    driver.log ("NOTE-OFFS");
    const auto closing = juce::Time::getMillisecondCounterHiRes();
    midi.closeAllOutputDevices();
    driver.log ("CLOSED " + juce::String (juce::roundToInt ((juce::Time::getMillisecondCounterHiRes() - closing) * 1000.0)));
    return status;
}
} // namespace

int main (int argc, char** argv)
{
    Options options;
    if (! parse (argc, argv, options))
    {
        std::cerr << "usage: e2e-firmware-stream [--port NAME] [--unplug-at SLICE --commands FIFO"
                     " [--replug-after-ms MS]] [--timeout-ms MS]\n"
                     "       e2e-firmware-stream [--port NAME] --start-calibration\n";
        return 1;
    }

    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    int status = 0;
    {
        MidiManager::Ptr midi = new MidiManager (std::make_shared<JackMidiPortSystem>());
        juce::AudioDeviceManager devices;
        TuneKestruneEngine::Ptr engine = new TuneKestruneEngine (devices, midi);
        Driver driver (options, *midi);
        engine->addStatusListener (&driver);

        midi->openInputDevice (options.port);
        midi->openOutputDevice (options.port);
        if (! runUntil (10000, [&] { return midi->isOutputDeviceOpen (options.port); }))
        {
            driver.log ("ERROR cannot open " + options.port);
            status = 1;
        }
        else if (options.startCalibration)
        {
            status = startCalibration (*midi, *engine, driver);
        }
        else if (! engine->startFirmwareUpdate (&driver))
        {
            driver.log ("ERROR the engine refused the update");
            status = 1;
        }
        else if (! runUntil (options.timeoutMs, [&] { return driver.isCompleted() || driver.hasFailed(); }, &driver))
        {
            driver.log ("ERROR time-out");
            status = 2;
        }
        else if (driver.hasFailed())
        {
            status = 1;
        }
        else
        {
            // The machine restarts with the new firmware; the engine polls its version again.
            if (runUntil (15000, [&] { return driver.getLatestVersion() > 1.0; }))
            {
                driver.log ("VERSION " + juce::String (driver.getLatestVersion(), 2));
            }
            else
            {
                driver.log ("ERROR no version after the transfer");
                status = 2;
            }
        }

        engine->removeStatusListener (&driver);
        engine->cancelFirmwareUpdate();
        midi->closeAllInputDevices();
        midi->closeAllOutputDevices();
    }
    return status;
}

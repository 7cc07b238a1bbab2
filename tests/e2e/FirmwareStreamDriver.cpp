// e2e-firmware-stream: the tuning engine alone on the JACK MIDI ports of
// "Kestrune Jack 1"; prints "<ms> <EVENT>". It streams the firmware image
// (STATUS, SENT <slice>, COMPLETED, VERSION <v> read back); --unplug-at N
// --commands FIFO unplugs kestrune-sim just before slice N once the slices
// sent have left (UNPLUGGED N), and replugs it 2 s later. --start-calibration
// starts a calibration, then does what the application does at quit (CLOSED
// <us> the outputs took to close). Exit status 0, 1 on failure, 2 on time-out.
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
const juce::String machine = "Kestrune Jack 1";

class Driver : public FirmwareSysexSender::Listener,
               public TuneKestruneEngine::StatusListener
{
public:
    Driver (int unplugAtSlice, const juce::String& fifo, MidiManager& midiToUse)
        : unplugAt (unplugAtSlice), commandFifo (fifo), midi (midiToUse)
    {
    }

    void log (const juce::String& line) { std::cout << juce::Time::getMillisecondCounter() - startMs << " " << line << std::endl; }

    void firmwareProgressChanged (FirmwareSysexSender* sender, double) override
    {
        const auto next = (int) sender->getNextPacket();
        if (next == lastNextPacket)
            return;
        lastNextPacket = next;
        log ("SENT " + juce::String (next - 1));
        if (next == unplugAt && ! unplugged)
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
    void firmwareVersionReceived (double version) override { latestVersion.store (version); } // MIDI input thread

    // Called by the event loop between messages.
    void idle()
    {
        if (replugAtMs == 0 || juce::Time::getMillisecondCounter() < replugAtMs)
            return;
        replugAtMs = 0;
        log ("REPLUG");
        tellMachine ("replug");
    }

    std::atomic<double> latestVersion { 0.0 };
    bool completed = false;
    bool failed = false;

private:
    void tellMachine (const juce::String& command)
    {
        // Plain stdio: juce::FileOutputStream would seek, which a FIFO cannot.
        auto* file = std::fopen (commandFifo.toRawUTF8(), "w");
        const bool written = file != nullptr && std::fputs ((command + "\n").toRawUTF8(), file) >= 0;
        if (file == nullptr || std::fclose (file) != 0 || ! written)
            log ("ERROR cannot write to " + commandFifo), failed = true;
    }

    void unplug (int slice)
    {
        unplugged = true;
        juce::Thread::sleep (100); // the slices sent so far leave with the next JACK periods
        tellMachine ("unplug");
        const auto deadline = juce::Time::getMillisecondCounter() + 5000;
        while (! failed && midi.isOutputDeviceAvailable (machine))
        {
            if (juce::Time::getMillisecondCounter() > deadline)
            {
                log ("ERROR the port did not go away");
                failed = true;
            }
            juce::Thread::sleep (5);
        }
        log ("UNPLUGGED " + juce::String (slice));
        // Timed here rather than by a juce::Timer, which would count the time
        // the message thread spent in this function against the delay.
        replugAtMs = juce::Time::getMillisecondCounter() + 2000;
    }

    const int unplugAt;
    const juce::String commandFifo;
    MidiManager& midi;
    const juce::uint32 startMs = juce::Time::getMillisecondCounter();
    int lastNextPacket = 0;
    juce::String lastStatus;
    bool unplugged = false;
    juce::uint32 replugAtMs = 0;
};

bool runUntil (int timeoutMs, const std::function<bool()>& done, Driver& driver)
{
    const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! done())
    {
        if (juce::Time::getMillisecondCounter() > deadline)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
        driver.idle();
    }
    return true;
}

int startCalibration (MidiManager& midi, TuneKestruneEngine& engine, Driver& driver)
{
    if (! engine.startTuningCalibration())
        return driver.log ("ERROR the engine refused to start"), 1;
    runUntil (1000, [] { return false; }, driver); // the requests leave, the replies come back

    // What the application does at quit: the note-offs, then the ports go
    // with everything else; closing must not wait for them to leave.
    for (int note = DeviceMessages::firstCalibratedNote; note <= DeviceMessages::lastCalibratedNote; ++note)
        midi.sendMessageToAllOutputs (DeviceMessages::noteOff (note));
    const auto closing = juce::Time::getMillisecondCounterHiRes();
    midi.closeAllOutputDevices();
    driver.log ("CLOSED " + juce::String (juce::roundToInt ((juce::Time::getMillisecondCounterHiRes() - closing) * 1000.0)));
    return 0;
}

int run (MidiManager& midi, TuneKestruneEngine& engine, Driver& driver, bool calibration)
{
    midi.openInputDevice (machine);
    midi.openOutputDevice (machine);
    if (! runUntil (10000, [&] { return midi.isOutputDeviceOpen (machine); }, driver))
        return driver.log ("ERROR cannot open " + machine), 1;
    if (calibration)
    {
        if (! runUntil (10000, [&] { return driver.latestVersion.load() > 1.0; }, driver))
            return driver.log ("ERROR no version above 1.0"), 2;
        return startCalibration (midi, engine, driver);
    }
    if (! engine.startFirmwareUpdate (&driver))
        return driver.log ("ERROR the engine refused the update"), 1;
    if (! runUntil (100000, [&] { return driver.completed || driver.failed; }, driver))
        return driver.log ("ERROR time-out"), 2;
    if (driver.failed)
        return 1;
    // The machine restarts with the new firmware; the engine polls its version again.
    if (! runUntil (15000, [&] { return driver.latestVersion.load() > 1.0; }, driver))
        return driver.log ("ERROR no version after the transfer"), 2;
    driver.log ("VERSION " + juce::String (driver.latestVersion.load(), 2));
    return 0;
}
} // namespace

int main (int argc, char** argv)
{
    const juce::StringArray args (argv + 1, argc - 1);
    const bool calibration = args.contains ("--start-calibration");
    const auto unplugAt = args.indexOf ("--unplug-at") >= 0 ? args[args.indexOf ("--unplug-at") + 1].getIntValue() : -1;
    const auto fifo = args.indexOf ("--commands") >= 0 ? args[args.indexOf ("--commands") + 1] : juce::String();
    if (unplugAt >= 0 && fifo.isEmpty())
    {
        std::cerr << "usage: e2e-firmware-stream [--unplug-at SLICE --commands FIFO] | --start-calibration\n";
        return 1;
    }

    juce::ScopedJuceInitialiser_GUI juceInitialiser;
    MidiManager::Ptr midi = new MidiManager (std::make_shared<JackMidiPortSystem>());
    juce::AudioDeviceManager devices;
    TuneKestruneEngine::Ptr engine = new TuneKestruneEngine (devices, midi);
    Driver driver (unplugAt, fifo, *midi);
    engine->addStatusListener (&driver);
    const auto status = run (*midi, *engine, driver, calibration);
    engine->removeStatusListener (&driver);
    engine->cancelFirmwareUpdate();
    midi->closeAllInputDevices();
    midi->closeAllOutputDevices();
    return status;
}

#include "FakeRig.h"

namespace enginetest
{
FakeRig::FakeRig()
{
    ports->plugInput (portName);
    ports->plugOutput (portName);
    midi = new MidiManager (ports);
    midi->openInputDevice (portName);
    midi->openOutputDevice (portName);
    engine = new TuneKestruneEngine (deviceManager, midi, clock);
    engine->addStatusListener (&listener);
}

FakeRig::~FakeRig()
{
    if (engine != nullptr)
        engine->removeStatusListener (&listener);
    engine = nullptr;
    midi = nullptr;
}

void FakeRig::startListening()
{
    replyVersion (0, 1, 0, 5);
    if (! start())
        throw std::runtime_error ("start refused");
    listener.clear();
}

bool FakeRig::start()
{
    if (! engine->startTuningCalibration() || ! tickUntilSent ("request 64"))
        return false;
    for (int note = TuneKestruneEngine::firstNote; note <= TuneKestruneEngine::lastNote; ++note)
        reply (note, machineValue (note));
    return tickUntilSent ("on 24 127");
}

void FakeRig::finishWrites()
{
    for (int i = 0; i < 1000 && engine->isWritingCalibration(); ++i)
    {
        clock.advanceMs (TuneKestruneEngine::tickIntervalMs);
        tick();
    }
}

bool FakeRig::tickUntilSent (const std::string& last, int maxTicks)
{
    for (int i = 0;; ++i)
    {
        if (const auto all = sent(); ! all.empty() && all.back() == last)
            return true;
        if (i == maxTicks)
            return false;
        tick();
    }
}
} // namespace enginetest

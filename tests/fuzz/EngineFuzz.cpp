// The engine between a machine that sends anything and a user who clicks
// whatever the windows offer, with cables pulled and time jumping. It writes
// back only values the machine reported (besides its own reference-note
// steps, the default table and a completed run's results) and never commits
// while the machine's note 24 may hold a value of the engine's own.

#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "midi/DeviceMessages.h"
#include "midi/MidiStreamParser.h"
#include "support/FakeMidiPortSystem.h"
#include "support/FastForwardClock.h"
#include "tuning/DefaultCalibration.h"
#include "tuning/TuneKestruneEngine.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace
{
constexpr int firstNote = TuneKestruneEngine::firstNote;
constexpr int lastNote = TuneKestruneEngine::lastNote;
const juce::String portName { "Kestrune Jack 1" };
using ResultTable = std::array<TuningResult, TuneKestruneEngine::tableSize>;
using fuzzcheck::require;

// Opening an input waits 50 ms, so a fuzzer keeps one set of ports for the
// whole process and plugs everything back after each input.
struct Ports
{
    Ports()
    {
        system->plugInput (portName);
        system->plugOutput (portName);
        midi->openInputDevice (portName);
        midi->openOutputDevice (portName);
    }

    void restore()
    {
        if (! outputPlugged)
            system->plugOutput (portName);
        system->outputsRefuse = inputLost = false;
        outputPlugged = true;
        midi->timerCallback();
        system->clearSent();
    }

    std::shared_ptr<FakeMidiPortSystem> system = std::make_shared<FakeMidiPortSystem>();
    MidiManager::Ptr midi = new MidiManager (system);
    juce::AudioDeviceManager deviceManager;
    bool outputPlugged = true, inputLost = false;
};

// Values the engine tells the user about stay in their ranges.
struct CheckingListener : TuneKestruneEngine::StatusListener
{
    void frequencyDetected (float hz) override { require (std::isfinite (hz) && hz >= 0.0f, "frequency out of range"); }
    void tuningNoteChanged (int note) override { require (note >= firstNote && note <= lastNote, "tuning note out of range"); }
    void tuningStarted() override {}
    void tuningStopped() override {}
    void tuningFailed() override {}
    void tuningProgressChanged (double p) override { require (p >= 0.0 && p <= 1.0, "progress out of range"); }
    void firmwareVersionReceived (double v) override { require (std::isfinite (v) && v >= 0.0, "version out of range"); }
};

// What the machine got, judged message by message.
class WireJudge
{
public:
    // own: start, begin, tick (reference-note writes are the engine's own until
    // a note-off); restore: abort, undo, a removed port (writes must be read
    // back); defaults: the default table; results: a completed run's table.
    enum class Call { own, restore, defaults, results };

    void replyDelivered (const juce::MidiMessage& message)
    {
        const auto reply = DeviceMessages::parseCalibrationValueReply (message);
        if (! reply.has_value())
            return;
        if ((reply->note > firstNote && reply->note <= lastNote) || (reply->note == firstNote && referenceTrusted))
            readBack[(size_t) reply->note].insert (reply->value);
        // The first answer to a request for the reference note says what it
        // holds now: its own value again, or not.
        if (reply->note == firstNote && std::exchange (referenceAsked, false))
            referenceAltered = readBack[(size_t) firstNote].count (reply->value) == 0;
    }

    // A start's replies for note 24 carry the machine's own value only if the
    // note held one when it began (judged before the start's writes). What an
    // earlier start read stays: a machine that may hold our values is given
    // back the table known from before, not what it answers now.
    void calibrationStarted() { referenceTrusted = ! referenceAltered; }

    // Returns whether the call sent an all-notes-off: a write it began is a
    // completed run's table, otherwise the stored one given back.
    bool judge (const std::vector<juce::MidiMessage>& sent, Call call, const ResultTable& results)
    {
        bool afterNoteOff = false, afterAllNotesOff = false;
        for (const auto& m : sent)
        {
            const auto* raw = m.getRawData();
            const auto size = (size_t) m.getRawDataSize();
            require (midibytes::isCompleteMessage (raw, size, 64), "sent a message that is not complete MIDI");
            if (m.isNoteOff())
            {
                afterNoteOff = true;
                afterAllNotesOff = afterAllNotesOff || m.getNoteNumber() == 0;
            }
            if (m.getRawDataSize() == referenceRequest.getRawDataSize()
                && std::equal (raw, raw + size, referenceRequest.getRawData()))
                referenceAsked = true;
            if (m.isSysEx() && size == 8 && raw[4] == 0x2A)
                require (! referenceAltered, "committed while the reference note held the engine's own value");
            if (const auto write = DeviceMessages::parseCalibrationValueReply (m))
                judgeWrite (write->note, write->value, call, afterNoteOff, afterAllNotesOff, results);
        }
        return afterAllNotesOff;
    }

private:
    void judgeWrite (int note, juce::uint16 value, Call call, bool afterNoteOff, bool afterAllNotesOff,
                     const ResultTable& results)
    {
        require (note >= firstNote && note <= lastNote, "wrote a note outside 24..63");
        const bool reported = readBack[(size_t) note].count (value) > 0;
        if (note == firstNote)
            referenceAsked = false;   // an answer to an earlier request is about the old value
        if (call == Call::own && ! afterNoteOff)
        {
            require (note == firstNote, "an own value written to a note other than the reference");
            referenceAltered = ! reported;
            return;
        }
        // What the machine stores may always go back: what it reported, or a
        // default table or a run's results written to it (a write that fails
        // half-way gives back the stored table).
        const bool ours = call == Call::defaults ? value == defaultCalibration[(size_t) (note - firstNote)]
                                                 : (call == Call::results || afterAllNotesOff) && value == results[(size_t) note].value;
        if (note == firstNote)
            referenceAltered = ! (reported || ours);
        else
            require (reported || ours, "wrote a value the machine never reported");
        // Once confirmed it is what the machine stores, which a restore may write back.
        if (ours)
            readBack[(size_t) note].insert (value);
    }

    std::array<std::set<juce::uint16>, TuneKestruneEngine::tableSize> readBack;
    bool referenceAltered = false;   // the machine's note 24 may hold one of our values
    bool referenceTrusted = true;    // replies for note 24 carry a value the machine may keep
    bool referenceAsked = false;     // a request for note 24 went out since its last write
    const juce::MidiMessage referenceRequest = DeviceMessages::calibrationValueRequest (firstNote);
};

struct Session
{
    using Call = WireJudge::Call;

    Session (Ports& p, juce::uint32 startMs) : ports (p), clock (startMs), engine (new TuneKestruneEngine (p.deviceManager, p.midi, clock))
    {
        engine->addStatusListener (&listener);
    }

    ~Session() noexcept (false)   // the application's quit: judged like any call
    {
        engine->removeStatusListener (&listener);
        call (Call::restore, [this] { engine = nullptr; });
    }

    template <typename Fn>
    void call (Call kind, Fn&& fn)
    {
        // A verified write goes on from later ticks: what they send is judged
        // as the call that began it.
        const bool writing = engine->isWritingCalibration();
        if (writing && kind == Call::own)
            kind = writeKind;
        ports.system->clearSent();
        const auto resultsBefore = engine->getTuningResults();
        fn();
        if (engine != nullptr)
            checkState();
        // A tick that begins one (a run ended or given up) may send no note-off
        // first: its writes are then the stored table's, not reference steps.
        const bool began = ! writing && engine != nullptr && engine->isWritingCalibration();
        if (began && kind == Call::own)
            kind = Call::restore;
        const bool allNotesOff = judge.judge (ports.system->allSent(), kind, engine != nullptr ? engine->getTuningResults() : resultsBefore);
        if (began)
            writeKind = allNotesOff ? Call::results : kind;
    }

    void deliver (const juce::MidiMessage& message)
    {
        if (ports.inputLost)
            return;
        judge.replyDelivered (message);
        call (Call::restore, [&] { ports.system->injectMessage (portName, message); });
        require (ports.system->allSent().empty(), "answered a message from the machine");
    }

    void checkState() const
    {
        const auto& e = *engine;
        require (! e.isTuning() || e.isCalibrating(), "tuning without calibrating");
        require (! e.isTuning() || (e.getCurrentNote() >= firstNote && e.getCurrentNote() <= lastNote), "current note out of range");
        require (e.getProgress() >= 0.0 && e.getProgress() <= 1.0, "progress out of range");
        require (std::isfinite (e.getFirmwareVersion()) && e.getFirmwareVersion() >= 0.0, "firmware version out of range");
        require (! (e.isCalibrating() && e.isUpdatingFirmware()), "calibrating while firmware streams");
    }

    void tick()
    {
        if (engine->isTimerRunning())
            call (Call::own, [&] { engine->timerCallback(); });
    }

    Ports& ports;
    FastForwardClock clock;
    CheckingListener listener;
    WireJudge judge;
    Call writeKind = Call::restore;
    TuneKestruneEngine::Ptr engine;
};

void run (Ports& ports, FuzzInput& input)
{
    // Some inputs start just before the millisecond counter wraps.
    Session s (ports, input.byte() < 0x80 ? 1000u : 0xFFFFFFFFu - 30000u);
    auto& engine = *s.engine;
    using Call = WireJudge::Call;
    bool firmwareStarted = false;

    for (int step = 0; step < 256 && ! input.empty(); ++step)
    {
        switch (input.below (17))
        {
            case 0: // the Start button, shown while no run is in progress
                if (! engine.isTuning() && ! engine.isUpdatingFirmware())
                    s.call (Call::own, [&] { if (engine.startTuningCalibration()) s.judge.calibrationStarted(); });
                break;
            case 1: // Continue in the knob step
                if (engine.isCalibrating() && ! engine.isTuning())
                    s.call (Call::own, [&] { engine.beginTuningRun(); });
                break;
            case 2: s.call (Call::restore, [&] { engine.abortTuning(); }); break;
            case 3: // engine ticks, 15 ms apart
                for (int i = 0, n = 1 + input.below (64); i < n; ++i)
                {
                    s.clock.advanceMs (TuneKestruneEngine::tickIntervalMs);
                    s.tick();
                }
                break;
            case 4: // the message thread was held up, then one tick
                s.clock.advanceMs (input.word() * 2.0);
                s.tick();
                break;
            case 5: // a calibration value reply for any note
            {
                const int note = input.byte() & 0x7F;
                s.deliver (DeviceMessages::calibrationValueReply (note, input.word()));
                break;
            }
            case 6: // replies for notes 24 to 63 (or to 64)
            {
                const auto base = input.word();
                const int stride = input.byte(), last = lastNote + input.below (2);
                for (int note = firstNote; note <= last; ++note)
                    s.deliver (DeviceMessages::calibrationValueReply (note, (juce::uint16) (base + stride * note)));
                break;
            }
            case 7:
            {
                juce::uint8 d[4];
                for (auto& digit : d)
                    digit = input.byte() % 12;
                s.deliver (DeviceMessages::identityReply (d[0], d[1], d[2], d[3]));
                break;
            }
            case 8: // bytes cut into messages, as a port delivers them
            {
                MidiStreamParser parser;
                for (const auto byte : input.bytes (48))
                    if (parser.push (byte))
                        s.deliver (juce::MidiMessage (parser.message().data(), (int) parser.message().size(), 0.0));
                break;
            }
            case 9: // any bytes as one message, and a SysEx that never ends
            {
                const auto bytes = input.bytes (48);
                if (! bytes.empty())
                    s.deliver (juce::MidiMessage (bytes.data(), (int) bytes.size(), 0.0));
                if (! ports.inputLost)
                    s.call (Call::restore, [&] { ports.system->injectPartialSysex (portName, bytes.data(), (int) bytes.size()); });
                break;
            }
            case 10: // the output's cable pulled or plugged back; the manager's poll notices
                ports.outputPlugged = ! ports.outputPlugged;
                ports.outputPlugged ? ports.system->plugOutput (portName) : ports.system->unplugOutput (portName);
                s.call (Call::restore, [&] { ports.midi->timerCallback(); });
                break;
            case 11: // the input lost and back, as the poll reports it (reopening waits 50 ms)
                ports.inputLost = ! ports.inputLost;
                if (ports.inputLost)
                    s.call (Call::restore, [&] { engine.midiInputDeviceRemoved (portName); });
                break;
            case 12: // Restore Default Calibration, while the menu offers it
                if (! engine.isTuning() && ! engine.isUpdatingFirmware() && ports.midi->getNumOpenOutputDevices() > 0)
                    s.call (Call::defaults, [&] { engine.restoreDefaultCalibration(); });
                break;
            case 13: // Undo Tuning, while the menu offers it
                if (engine.hasTuningResults())
                    s.call (Call::restore, [&] { if (engine.undoTuning()) engine.commitCalibration(); });
                break;
            case 14:
                engine.setTuningAlgorithm (input.byte() & 1 ? TuneKestruneEngine::fineTuneName : TuneKestruneEngine::sweepTuneName);
                break;
            case 15: // the firmware window: start (refused while calibrating; once per input, copying is slow) or give up
                if ((input.byte() & 1) && ! firmwareStarted)
                    s.call (Call::restore, [&] { firmwareStarted = ! engine.isCalibrating() && engine.startFirmwareUpdate (nullptr); });
                else
                    s.call (Call::restore, [&] { engine.cancelFirmwareUpdate(); });
                break;
            case 16: // the output's buffer is full, or drains again
                ports.system->outputsRefuse = ! ports.system->outputsRefuse;
                break;
        }
    }
}
} // namespace

int fuzzEngine (const std::uint8_t* data, size_t size)
{
    FuzzInput input (data, size);
#ifdef KESTRUNE_LIBFUZZER
    static auto* ports = new Ports();   // kept to the end of the process
    ports->restore();
    run (*ports, input);
#else
    Ports ports;
    run (ports, input);
#endif
    return 0;
}

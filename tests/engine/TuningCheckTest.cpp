#include "EngineTestSupport.h"

#include "midi/DeviceMessages.h"
#include "sim/model/CalibrationCheck.h"
#include "tuning/FakeAudioIODevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

using namespace enginetest;

namespace
{
struct CheckRecorder : TuningCheck::Listener
{
    void tuningCheckProgressChanged (int nextNote, double progress) override
    {
        events.push_back ("next " + std::to_string (nextNote) + " " + std::to_string (progress));
    }
    void tuningCheckFinished (const std::vector<TuningCheck::Row>& measured) override
    {
        rows = measured;
        events.push_back ("finished");
    }
    void tuningCheckFailed (TuningCheck::State reason) override
    {
        failure = reason;
        events.push_back ("failed");
    }

    bool ended() const { return ! events.empty() && (events.back() == "finished" || events.back() == "failed"); }

    std::vector<std::string> events;
    std::vector<TuningCheck::Row> rows;
    std::optional<TuningCheck::State> failure;
};

// A stored table that puts every note of this unit `cents` off its target,
// sharp and flat in turn.
MachineState tableOff (juce::int64 seed, double knob, double cents)
{
    const PitchCurve curve (seed);
    MachineState state;
    for (int note = 24; note <= 63; ++note)
    {
        const auto wanted = PitchCurve::targetFrequency (note) * std::exp2 ((note % 2 == 0 ? cents : -cents) / 1200.0);
        // A larger value gives a lower pitch.
        int low = 0, high = 65535;
        while (low < high)
        {
            const int mid = (low + high) / 2;
            if (curve.frequency (mid, knob) > wanted)
                low = mid + 1;
            else
                high = mid;
        }
        state.calibration[(size_t) (note - 24)] = (juce::uint16) low;
    }
    return state;
}

double allowedCents (int note)
{
    return note <= 35 ? 4.0 : note <= 47 ? 1.5 : 0.5;
}

std::vector<std::string> receivedSince (SimRig& rig, size_t mark)
{
    const auto all = describeAll (rig.ports->getReceivedByMachine());
    return { all.begin() + (long) std::min (mark, all.size()), all.end() };
}

void runUntilEnded (SimRig& rig, CheckRecorder& recorder, double limitMs = 120000.0)
{
    rig.run (limitMs, [&] { return recorder.ended(); });
}
} // namespace

TEST (TuningCheck, MeasuresEachNoteOfAUnitFortyCentsOffAsItsCheckerDoes)
{
    constexpr juce::int64 seed = 3;
    constexpr double knob = 0.0;
    auto options = machineOptions (seed, knob);
    options.initialState = tableOff (seed, knob, 40.0);
    SimRig rig (options);
    const auto checker = CalibrationCheck (rig.machine->getStoredState(), rig.machine->getPitchCurve(), knob);

    CheckRecorder recorder;
    const auto realStart = std::chrono::steady_clock::now();
    const auto simStart = rig.clock.getMillisecondCounter();
    ASSERT_TRUE (rig.engine->startTuningCheck (&recorder));
    EXPECT_TRUE (rig.engine->isCheckingTuning());
    runUntilEnded (rig, recorder);
    const auto simMs = rig.clock.getMillisecondCounter() - simStart;
    const auto realMs = std::chrono::duration<double, std::milli> (std::chrono::steady_clock::now() - realStart).count();

    ASSERT_EQ (recorder.events.size(), 40u);
    EXPECT_EQ (recorder.events.front(), "next 25 0.025000");
    EXPECT_EQ (recorder.events[38], "next 63 0.975000");
    ASSERT_EQ (recorder.rows.size(), 40u);
    for (size_t i = 0; i < 40; ++i)
    {
        const auto& row = recorder.rows[i];
        const auto& expected = checker.getRows()[i];
        SCOPED_TRACE (row.note);
        EXPECT_EQ (row.note, expected.note);
        EXPECT_NEAR (std::abs (expected.cents), 40.0, 0.5);
        EXPECT_DOUBLE_EQ (row.targetHz, expected.target);
        EXPECT_NEAR (row.cents, expected.cents, allowedCents (row.note));
        EXPECT_NEAR (TuningCheck::centsBetween (row.measuredHz, row.targetHz), row.cents, 1e-9);
    }

    // Each note on and off in turn, nothing else; the machine silent and unchanged.
    std::vector<std::string> notes;
    for (int note = 24; note <= 63; ++note)
    {
        notes.push_back ("on " + std::to_string (note) + " 127");
        notes.push_back ("off " + std::to_string (note));
    }
    EXPECT_EQ (receivedSince (rig, 0), notes);
    EXPECT_EQ (rig.machine->getSoundingNote(), -1);
    EXPECT_EQ (rig.machine->getStoredState(), options.initialState);
    EXPECT_FALSE (rig.engine->isCheckingTuning());
    EXPECT_EQ (rig.listener.count ("frequency"), 0);

    std::cout << "tuning check, seed 3, a unit 40 cents off: " << simMs / 1000.0 << " s simulated, " << realMs / 1000.0
              << " s real" << std::endl;
}

TEST (TuningCheck, StopsWithTheLikelyCauseInsteadOfMeasuringNothing)
{
    struct Case
    {
        const char* name;
        std::function<void (SimRig&)> breakIt;
        TuningCheck::State expected;
        std::vector<std::string> wire;
    };
    const std::vector<Case> cases {
        { "a silent machine", [] (SimRig& rig) { rig.machine->setMuted (true); }, TuningCheck::State::noNoteHeard,
          { "on 24 127", "off 24" } },
        { "an input channel the device does not open", [] (SimRig& rig) { rig.engine->setAnalysedInputChannel (1); },
          TuningCheck::State::noAudio, { "on 24 127", "off 24" } },
        { "no MIDI output", [] (SimRig& rig) { rig.midi->closeAllOutputDevices(); }, TuningCheck::State::noteNotSent,
          {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        SimRig rig (machineOptions (1, 0.0));
        c.breakIt (rig);
        CheckRecorder recorder;
        ASSERT_TRUE (rig.engine->startTuningCheck (&recorder));
        const auto start = rig.clock.getMillisecondCounter();
        runUntilEnded (rig, recorder, 10000.0);

        EXPECT_EQ (recorder.events, std::vector<std::string> { "failed" });
        EXPECT_EQ (recorder.failure, c.expected);
        EXPECT_LE (rig.clock.getMillisecondCounter() - start, 2100u);
        EXPECT_EQ (receivedSince (rig, 0), c.wire);
        EXPECT_EQ (rig.machine->getSoundingNote(), -1);
        EXPECT_FALSE (rig.engine->isCheckingTuning());
    }
}

TEST (TuningCheck, StopReleasesTheSoundingNoteAtOnce)
{
    SimRig rig (machineOptions (1, 0.0));
    CheckRecorder recorder;
    ASSERT_TRUE (rig.engine->startTuningCheck (&recorder));
    rig.run (20000.0, [&] { return recorder.events.size() == 5; });
    ASSERT_EQ (recorder.events.back(), "next 29 0.125000");
    rig.run (300.0);
    ASSERT_EQ (rig.machine->getSoundingNote(), 29);

    rig.engine->stopTuningCheck();
    EXPECT_FALSE (rig.engine->isCheckingTuning());
    EXPECT_EQ (rig.machine->getSoundingNote(), -1);
    // Notes 24 to 28 on and off, 29 on, and off at once.
    const auto wire = receivedSince (rig, 0);
    ASSERT_EQ (wire.size(), 12u);
    EXPECT_EQ (wire[10], "on 29 127");
    EXPECT_EQ (wire[11], "off 29");

    rig.run (3000.0);
    EXPECT_EQ (receivedSince (rig, 0).size(), 12u);
    EXPECT_EQ (recorder.events.size(), 5u);
}

TEST (TuningCheck, NeitherRunsBesideACalibrationOrAFirmwareTransfer)
{
    struct : FirmwareSysexSender::Listener
    {
        void firmwareProgressChanged (FirmwareSysexSender*, double) override {}
        void firmwareStatusChanged (FirmwareSysexSender*, const juce::String&) override {}
    } firmwareListener;
    SimRig rig (machineOptions (1, 0.0));
    rig.midi->sendMessageToAllOutputs (DeviceMessages::identityRequest());
    CheckRecorder recorder;

    // The knob step: the check is refused and sends nothing.
    ASSERT_TRUE (rig.engine->startTuningCalibration());
    rig.run (500.0);
    auto mark = rig.ports->getReceivedByMachine().size();
    EXPECT_FALSE (rig.engine->startTuningCheck (&recorder));
    EXPECT_EQ (rig.ports->getReceivedByMachine().size(), mark);
    // Every note was read back: a run could begin, were it not for a check.
    rig.engine->abortTuning();

    ASSERT_TRUE (rig.engine->startTuningCheck (&recorder));
    rig.run (300.0);
    mark = rig.ports->getReceivedByMachine().size();
    EXPECT_FALSE (rig.engine->startTuningCalibration());
    EXPECT_FALSE (rig.engine->beginTuningRun());
    EXPECT_FALSE (rig.engine->startFirmwareUpdate (&firmwareListener));
    EXPECT_EQ (rig.ports->getReceivedByMachine().size(), mark);
    EXPECT_FALSE (rig.engine->isCalibrating());
    EXPECT_FALSE (rig.engine->isUpdatingFirmware());
    EXPECT_TRUE (rig.engine->isCheckingTuning());
    rig.engine->stopTuningCheck();

    // A firmware transfer: refused again.
    ASSERT_TRUE (rig.engine->startFirmwareUpdate (&firmwareListener));
    mark = rig.ports->getReceivedByMachine().size();
    EXPECT_FALSE (rig.engine->startTuningCheck (&recorder));
    EXPECT_EQ (rig.ports->getReceivedByMachine().size(), mark);
    rig.engine->cancelFirmwareUpdate();
    EXPECT_TRUE (recorder.events.empty());
}

TEST (TuningCheck, HearsANoteOnlyWhereTheInputCarriesASteadyPitchAboveTheNoiseFloor)
{
    // The check on an analysis input fed here, 48 kHz in 512-sample blocks.
    struct Case
    {
        const char* name;
        std::function<float (juce::int64 sample, juce::Random&)> input;
        TuningCheck::State expected;
    };
    const auto sine = [] (double amplitude) {
        return [amplitude] (juce::int64 n, juce::Random&) {
            return (float) (amplitude * std::sin (juce::MathConstants<double>::twoPi * 32.7 * (double) n / 48000.0));
        };
    };
    const std::vector<Case> cases {
        { "a note at -20 dBFS", sine (0.1), TuningCheck::State::measuring },
        { "the same note at -66 dBFS", sine (0.0005), TuningCheck::State::noNoteHeard },
        { "noise at -30 dBFS", [] (juce::int64, juce::Random& r) { return 0.03f * (2.0f * r.nextFloat() - 1.0f); },
          TuningCheck::State::noNoteHeard },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        SimulatedClock clock;
        auto ports = std::make_shared<FakeMidiPortSystem>();
        ports->plugOutput (portName);
        MidiManager::Ptr midi = new MidiManager (ports);
        midi->openOutputDevice (portName);
        FakeAudioIODevice device (48000.0);
        DetectTuneAudioCallback::Ptr analysis = new DetectTuneAudioCallback();
        AnalysisInput::Ptr input = new AnalysisInput (analysis);
        input->audioDeviceAboutToStart (&device);

        TuningCheck check (midi, input, analysis, clock);
        check.start();
        juce::Random random (7);
        std::vector<float> block (512);
        juce::int64 n = 0;
        double nextTickMs = 15.0;
        while (check.getState() == TuningCheck::State::measuring && check.getRows().empty() && n < 48000 * 3)
        {
            for (auto& sample : block)
                sample = c.input (n++, random);
            const float* channels[1] = { block.data() };
            input->audioDeviceIOCallbackWithContext (channels, 1, nullptr, 0, 512, {});
            clock.advanceMs (512.0 / 48.0);
            for (; (double) n / 48.0 >= nextTickMs; nextTickMs += 15.0)
                check.step();
        }

        EXPECT_EQ (check.getState(), c.expected);
        if (c.expected == TuningCheck::State::measuring)
        {
            ASSERT_EQ (check.getRows().size(), 1u);
            EXPECT_NEAR (check.getRows()[0].measuredHz, 32.7, 0.03);
            EXPECT_EQ (check.getCurrentNote(), 25);
        }
        const auto sent = describeAll (ports->sentTo (portName));
        EXPECT_EQ (sent[1], "off 24");
    }
}

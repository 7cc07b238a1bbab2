#include "support/SimRig.h"

#include "tuning/GuitarPlayerTuningAlgorithm.h"
#include "tuning/PreciseTuningAlgorithm.h"
#include "tuning/SweepUpTuningAlgorithm.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace enginetest;

namespace
{
// Puts an algorithm at any note and value, as a run would have left it.
template <typename Algorithm>
struct Positioned : Algorithm
{
    using Algorithm::Algorithm;
    void moveTo (int note, juce::uint16 value) { this->currentNote = (juce::uint8) note, this->currentValue = value; }
};

float target (int note)
{
    return TuneKestruneEngine::TuningAlgorithm::targetFrequency (note);
}

// The closest estimates just outside and just inside 0.2 Hz off the target.
std::pair<float, float> aroundTolerance (int note, float direction)
{
    float hz = target (note);
    while ((double) std::abs (hz - target (note)) < 0.2)
        hz = std::nextafter (hz, direction * 1000.0f);
    return { hz, std::nextafter (hz, target (note)) };
}
} // namespace

// Fine Tune acts only on frames analysed after its last jump, so this runs on
// the virtual machine's audio, a calibration listening; also through an audio
// interface that hands the sound over one and a half frames late (and says so).
TEST (TuningAlgorithm, EachEstimateStepsTheValueOrAcceptsTheNoteAndFineTuneWaitsForCleanFrames)
{
    for (const int latency : { 0, 12288 })
    {
        SCOPED_TRACE (latency);
        SimRig rig;
        rig.device()->setInputLatency (latency);
        const int framesToWait = latency == 0 ? 3 : 4;   // the block after the jump, the latency, one more block
        rig.start();
        rig.run (1000.0, [&] { return rig.device()->getSamplesRendered() % 8192 == 0; });   // a frame boundary
        const auto passFrames = [&] (int n) { rig.run (n * 8192 * 1000.0 / 48000.0 + 1.0); };
        size_t mark = 0;
        const auto sent = [&] {
            const auto all = rig.ports->getReceivedByMachine();
            return describeAll ({ all.begin() + (long) mark, all.end() });
        };
        TuneKestruneEngine::CalibrationTable table;
        for (int note = 0; note < 64; ++note)
            table[(size_t) note].store (note == 24 ? 60000 : note == 25 ? 50000 : 0);

        mark = rig.ports->getReceivedByMachine().size();
        rig.listener.clear();
        Positioned<GuitarPlayerTuningAlgorithm> fine (rig.midi, *rig.engine, table);
        EXPECT_EQ (sent(), std::vector<std::string> { "write 24 60000" });   // note 24's read-back value
        EXPECT_EQ (rig.listener.milestones(), std::vector<std::string> { "note 24" });
        for (int frame = 1; frame < framesToWait; ++frame)   // far off and on target alike: nothing yet
        {
            passFrames (1);
            fine.processFrequency (100.0f);
            fine.processFrequency (target (24));
            EXPECT_EQ (sent().size(), 1u) << "frame " << frame;
        }
        passFrames (1);
        fine.processFrequency (100.0f);
        fine.processFrequency (100.0f);   // every tick while approaching, the estimate unchanged or not
        fine.processFrequency (target (24));   // not accepted: it may describe a value already left
        fine.processFrequency (100.0f);   // once the target is reached, only a new estimate steps
        fine.processFrequency (100.5f);
        EXPECT_EQ (sent(), (std::vector<std::string> { "write 24 60000", "write 24 60100", "write 24 60200", "write 24 60300" }));
        passFrames (framesToWait);
        fine.processFrequency (target (24));   // accepted: the next note's own read-back value
        EXPECT_EQ (sent().back(), "write 24 50000");
        passFrames (framesToWait - 1);   // the next note waits for its start value again
        fine.processFrequency (10.0f);
        EXPECT_EQ (sent().size(), 5u);
        passFrames (1);
        fine.processFrequency (10.0f);    // below the target: up
        fine.processFrequency (100.0f);   // past it without reaching it: down
        fine.processFrequency (100.0f);   // the same estimate past the target: nothing
        EXPECT_EQ (sent().size(), 7u);

        struct Row
        {
            bool fine;
            int note;
            float hz;
            int step;   // 0: accepted at the value it had
            juce::uint16 start = 30000;
        };
        const auto high = aroundTolerance (45, 1.0f), low = aroundTolerance (45, -1.0f);
        const std::vector<Row> rows {
            { false, 24, 40.0f, 50 }, { false, 24, 37.71f, 50 }, { false, 24, 35.0f, 15 }, { false, 24, 33.71f, 15 },
            { false, 24, 33.5f, 3 }, { false, 24, target (24) + 1.0f, 3 }, { false, 24, 20.0f, -3 }, { false, 24, 0.0f, -3 }, { false, 26, 42.2f, 50 },
            { false, 26, 37.2f, 3 }, { false, 26, 36.0f, -3 }, { false, 27, target (27) + 2.5f, 50 },
            { false, 30, 50.0f, 100 }, { false, 30, 48.5f, 50 }, { false, 30, 47.6f, 20 }, { false, 30, 46.6f, 5 },
            { false, 30, 45.0f, -5 }, { false, 30, 10.0f, -5 }, { false, 63, target (63) + 4.0f, 100 },
            { false, 63, target (63) - 0.3f, -5 }, { false, 45, high.first, 5 }, { false, 45, high.second, 0 },
            { false, 45, low.first, -5 }, { false, 45, low.second, 0 }, { false, 40, target (40) + 0.15f, 0 },
            { false, 24, 32.8f, 0, 64000 }, { false, 30, 60.0f, 100, 65500 }, { false, 30, 20.0f, -5, 2 },   // wraps
            { true, 24, 40.0f, 100 }, { true, 24, 34.0f, 10 }, { true, 24, 33.0f, 3 }, { true, 24, 32.55f, -3 },
            { true, 24, 10.0f, -3 }, { true, 26, target (26) + 6.5f, 100 }, { true, 27, target (27) + 6.5f, 250 },
            { true, 27, target (27) + 3.5f, 50 }, { true, 50, 155.0f, 250 }, { true, 50, 151.0f, 50 },
            { true, 50, 148.0f, 10 }, { true, 50, 147.0f, 3 }, { true, 50, 140.0f, -3 },
            { true, 40, target (40) + 0.15f, 3 }, { true, 24, 32.75f, 0 },   // Fine Tune accepts within 0.1 Hz
        };
        Positioned<SweepUpTuningAlgorithm> sweep (rig.midi, *rig.engine);
        for (const auto& row : rows)
        {
            SCOPED_TRACE (std::to_string (row.fine) + " note " + std::to_string (row.note) + " " + std::to_string (row.hz));
            TuneKestruneEngine::TuningAlgorithm& algorithm = row.fine ? (TuneKestruneEngine::TuningAlgorithm&) fine : sweep;
            row.fine ? fine.moveTo (row.note, row.start) : sweep.moveTo (row.note, row.start);
            if (row.step == 0)   // a note is accepted only on frames heard after the last step
                passFrames (framesToWait);
            mark = rig.ports->getReceivedByMachine().size();
            algorithm.processFrequency (row.hz);
            EXPECT_EQ (algorithm.getCurrentNote(), row.step == 0 ? row.note + 1 : row.note);
            // A step writes the new value; Sweep Tune starts the next note from the value accepted.
            if (row.step != 0 || ! row.fine)
            {
                EXPECT_EQ (sent(), std::vector<std::string> { "write 24 " + std::to_string ((juce::uint16) (row.start + row.step)) });
            }
            if (row.step == 0)
            {
                EXPECT_EQ (algorithm.getResults()[(size_t) row.note].value, row.start);
                EXPECT_EQ (algorithm.getResults()[(size_t) row.note].frequency, row.hz);
            }
        }

        // Silence is no estimate: it neither counts towards a measurement nor spoils one.
        PreciseTuningAlgorithm precise (rig.midi, *rig.engine, table);
        passFrames (framesToWait);
        precise.processFrequency (0.0f);
        for (int i = 0; i < PreciseTuningAlgorithm::estimatesFor (24); ++i)
            precise.processFrequency (target (24) + 0.001f * (float) i);
        EXPECT_EQ (precise.getCurrentNote(), 25);

        // A measurement that moved against the value's change is noise: the
        // next step still follows the factory slope, down in value for a flat note.
        PreciseTuningAlgorithm noisy (rig.midi, *rig.engine, table);
        const auto lastValue = [&] {
            const auto last = sent().back();
            return std::stoi (last.substr (last.rfind (' ') + 1));
        };
        const auto measureAt = [&] (double semitones) {
            passFrames (framesToWait);
            for (int i = 0; i < PreciseTuningAlgorithm::estimatesFor (24); ++i)
                noisy.processFrequency ((float) (target (24) * std::exp2 (semitones / 12.0)) + 0.001f * (float) i);
            return lastValue();
        };
        const int start = lastValue();
        const int afterFlat = measureAt (-1.0);
        EXPECT_LT (afterFlat, start);
        EXPECT_LT (measureAt (-2.0), afterFlat) << "flatter, though the value went down";
    }
}

// A step goes out on every tick, but the estimate is renewed only every 8,192
// samples: an estimate in the window just after a step describes the value
// left, and the value now held sounds outside the window.
TEST (TuningAlgorithm, AcceptsANoteOnlyOnAnEstimateOfTheValueItHolds)
{
    SimRig rig (machineOptions (1, 0.0));
    rig.start();
    const auto& curve = rig.machine->getPitchCurve();
    const auto pitch = [&] (int value) { return curve.frequency (value, 0.0); };
    TuneKestruneEngine::CalibrationTable table;
    for (auto& value : table)
        value.store (30000);
    Positioned<SweepUpTuningAlgorithm> sweep (rig.midi, *rig.engine);
    Positioned<GuitarPlayerTuningAlgorithm> fine (rig.midi, *rig.engine, table);

    struct Row
    {
        bool fine;
        int note;
        float difference;   // of the estimate that makes the step
        int step;
    };
    for (const auto& row : { Row { false, 24, 6.0f, 50 }, Row { false, 24, 2.0f, 15 }, Row { false, 24, -1.0f, -3 },
                             Row { false, 45, 4.0f, 100 }, Row { false, 45, 0.5f, 5 }, Row { false, 62, -1.0f, -5 },
                             Row { true, 24, 10.0f, 100 }, Row { true, 24, -1.0f, -3 }, Row { true, 50, 7.0f, 250 },
                             Row { true, 50, 2.0f, 10 }, Row { true, 62, -1.0f, -3 },
                             // On a threshold (exact in float): the smaller step.
                             Row { false, 24, 5.0f, 15 }, Row { false, 24, 1.0f, 3 }, Row { false, 45, 3.0f, 50 },
                             Row { false, 45, 2.0f, 20 }, Row { false, 45, 1.0f, 5 }, Row { true, 24, 6.0f, 10 }, Row { true, 24, 1.0f, 3 },
                             Row { true, 50, 6.0f, 50 }, Row { true, 50, 3.0f, 10 }, Row { true, 50, 1.0f, 3 } })
    {
        SCOPED_TRACE (std::to_string (row.fine) + " note " + std::to_string (row.note) + " step " + std::to_string (row.step));
        TuneKestruneEngine::TuningAlgorithm& algorithm = row.fine ? (TuneKestruneEngine::TuningAlgorithm&) fine : sweep;
        const double tolerance = row.fine ? GuitarPlayerTuningAlgorithm::tolerance : SweepUpTuningAlgorithm::tolerance;
        const double goal = target (row.note);
        // The value in the window nearest the edge the step leaves by.
        int held = 1;
        while (pitch (held) > goal + (row.step > 0 ? -tolerance : tolerance))
            ++held;
        held = row.step > 0 ? held - 1 : held;

        row.fine ? fine.moveTo (row.note, (juce::uint16) held) : sweep.moveTo (row.note, (juce::uint16) held);
        rig.run (5 * 8192 * 1000.0 / 48000.0);   // long past every earlier mark
        const auto mark = rig.ports->getReceivedByMachine().size();
        algorithm.processFrequency ((float) goal + row.difference);
        algorithm.processFrequency ((float) pitch (held));
        const auto received = rig.ports->getReceivedByMachine();
        EXPECT_EQ (describeAll ({ received.begin() + (long) mark, received.end() }),
                   std::vector<std::string> { "write 24 " + std::to_string (held + row.step) });
        EXPECT_EQ (algorithm.getCurrentNote(), row.note);
    }
}

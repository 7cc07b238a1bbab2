#include "EngineTestSupport.h"

#include "tuning/GuitarPlayerTuningAlgorithm.h"
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
    void moveTo (int note, juce::uint16 value)
    {
        this->currentNote = (juce::uint8) note;
        this->currentValue = value;
    }
};

float target (int note)
{
    return TuneKestruneEngine::TuningAlgorithm::targetFrequency (note);
}

// The closest estimates just outside and just inside 0.2 Hz above or below.
std::pair<float, float> aroundTolerance (int note, float direction)
{
    float hz = target (note);
    while ((double) std::abs (hz - target (note)) < 0.2)
        hz = std::nextafter (hz, direction * 1000.0f);
    return { hz, std::nextafter (hz, target (note)) };
}

// Fine Tune acts only on frames analysed after its last jump, so both run on
// the virtual machine's audio, a calibration listening.
struct TuningAlgorithmTest : ::testing::Test
{
    TuningAlgorithmTest()
    {
        for (auto& entry : table)
            entry.store (0);
        rig.start();
        rig.run (1000.0, [this] { return rig.device()->getSamplesRendered() % 8192 == 0; });   // a frame boundary
        rig.listener.clear();
        mark();
    }
    void passFrames (int n) { rig.run (n * 8192 * 1000.0 / 48000.0 + 1.0); }
    void mark() { marked = rig.ports->getReceivedByMachine().size(); }
    std::vector<std::string> sent() const
    {
        const auto all = rig.ports->getReceivedByMachine();
        return describeAll ({ all.begin() + (long) marked, all.end() });
    }

    SimRig rig;
    TuneKestruneEngine::CalibrationTable table;
    size_t marked = 0;
};
} // namespace

TEST_F (TuningAlgorithmTest, EachEstimateStepsTheValueOrAcceptsTheNote)
{
    Positioned<SweepUpTuningAlgorithm> sweep (rig.midi, *rig.engine);
    Positioned<GuitarPlayerTuningAlgorithm> fine (rig.midi, *rig.engine, table);
    passFrames (3);
    struct Row
    {
        bool fine;
        int note;
        float hz;
        int step;   // 0: accepted at the value it had
        juce::uint16 start = 30000;
    };
    const auto sweepHigh = aroundTolerance (45, 1.0f), sweepLow = aroundTolerance (45, -1.0f);
    const std::vector<Row> rows {
        { false, 24, 40.0f, 50 }, { false, 24, 37.71f, 50 }, { false, 24, 35.0f, 15 }, { false, 24, 33.71f, 15 },
        { false, 24, 33.5f, 3 }, { false, 24, 20.0f, -3 }, { false, 24, 0.0f, -3 }, { false, 26, 42.2f, 50 },
        { false, 26, 37.2f, 3 }, { false, 26, 36.0f, -3 }, { false, 27, target (27) + 2.5f, 50 },
        { false, 30, 50.0f, 100 }, { false, 30, 48.5f, 50 }, { false, 30, 47.6f, 20 }, { false, 30, 46.6f, 5 },
        { false, 30, 45.0f, -5 }, { false, 30, 10.0f, -5 }, { false, 63, target (63) + 4.0f, 100 },
        { false, 63, target (63) - 0.3f, -5 }, { false, 45, sweepHigh.first, 5 }, { false, 45, sweepHigh.second, 0 },
        { false, 45, sweepLow.first, -5 }, { false, 45, sweepLow.second, 0 }, { false, 40, target (40) + 0.15f, 0 },
        { false, 24, 32.8f, 0, 64000 },
        { false, 30, 60.0f, 100, 65500 }, { false, 30, 20.0f, -5, 2 },   // the value wraps around
        { true, 24, 40.0f, 100 }, { true, 24, 34.0f, 10 }, { true, 24, 33.0f, 3 }, { true, 24, 32.55f, -3 },
        { true, 24, 10.0f, -3 }, { true, 26, target (26) + 6.5f, 100 }, { true, 27, target (27) + 6.5f, 250 },
        { true, 27, target (27) + 3.5f, 50 }, { true, 50, 155.0f, 250 }, { true, 50, 151.0f, 50 },
        { true, 50, 148.0f, 10 }, { true, 50, 147.0f, 3 }, { true, 50, 140.0f, -3 },
        { true, 40, target (40) + 0.15f, 3 }, { true, 24, 32.75f, 0 },   // Fine Tune accepts within 0.1 Hz
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE (std::to_string (row.fine) + " note " + std::to_string (row.note) + " " + std::to_string (row.hz));
        TuneKestruneEngine::TuningAlgorithm& algorithm = row.fine ? (TuneKestruneEngine::TuningAlgorithm&) fine : sweep;
        row.fine ? fine.moveTo (row.note, row.start) : sweep.moveTo (row.note, row.start);
        algorithm.processFrequency (row.hz);
        if (row.step == 0)
        {
            EXPECT_EQ (algorithm.getCurrentNote(), row.note + 1);
            EXPECT_EQ (algorithm.getResults()[(size_t) row.note].value, row.start);
            EXPECT_EQ (algorithm.getResults()[(size_t) row.note].frequency, row.hz);
        }
        else
        {
            EXPECT_EQ (algorithm.getCurrentNote(), row.note);
            EXPECT_EQ (algorithm.getCurrentValue(), (juce::uint16) (row.start + row.step));
        }
    }
    // Sweep Tune starts the next note from the value just accepted.
    sweep.moveTo (40, 30000);
    mark();
    rig.listener.clear();
    sweep.processFrequency (target (40) - 0.15f);
    EXPECT_EQ (sent(), std::vector<std::string> { "write 24 30000" });
    EXPECT_EQ (rig.listener.all(), std::vector<std::string> { "note 41" });
}

TEST_F (TuningAlgorithmTest, FineTuneWaitsTwoWholeFramesAfterEachJumpToItsReadBackValue)
{
    table[24] = 60000;
    table[25] = 50000;
    GuitarPlayerTuningAlgorithm fine (rig.midi, *rig.engine, table);
    EXPECT_EQ (sent(), std::vector<std::string> { "write 24 60000" });
    EXPECT_EQ (rig.listener.milestones(), std::vector<std::string> { "note 24" });
    mark();

    // Far off and on target alike: nothing while frames 1 and 2 are analysed.
    for (int frame = 1; frame <= 2; ++frame)
    {
        passFrames (1);
        fine.processFrequency (100.0f);
        fine.processFrequency (target (24));
        EXPECT_TRUE (sent().empty()) << "frame " << frame;
        EXPECT_EQ (fine.getCurrentNote(), 24);
    }
    passFrames (1);
    fine.processFrequency (100.0f);
    fine.processFrequency (100.0f);   // every tick from then on, the estimate unchanged or not
    EXPECT_EQ (sent(), (std::vector<std::string> { "write 24 60100", "write 24 60200" }));

    // Accepting jumps to the next note's own read-back value and waits again.
    fine.processFrequency (target (24));
    EXPECT_EQ (fine.getCurrentNote(), 25);
    EXPECT_EQ (fine.getCurrentValue(), 50000);
    mark();
    passFrames (2);
    fine.processFrequency (10.0f);
    EXPECT_TRUE (sent().empty());
    passFrames (1);
    fine.processFrequency (10.0f);
    EXPECT_EQ (sent(), std::vector<std::string> { "write 24 49997" });
}

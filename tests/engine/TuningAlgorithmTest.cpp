#include "EngineTestSupport.h"

#include "tuning/GuitarPlayerTuningAlgorithm.h"
#include "tuning/SweepUpTuningAlgorithm.h"
#include "midi/DeviceMessages.h"

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

struct TuningAlgorithmTest : ::testing::Test
{
    FakeRig rig;

    // The value each estimate leads to, starting from `start` at `note`.
    template <typename Algorithm>
    std::vector<int> stepsFor (Algorithm& algorithm, int note, std::initializer_list<float> estimates)
    {
        std::vector<int> steps;
        for (auto hz : estimates)
        {
            algorithm.moveTo (note, 30000);
            algorithm.processFrequency (hz);
            steps.push_back ((int) algorithm.getCurrentValue() - 30000);
        }
        return steps;
    }
};

// Fine Tune acts only on estimates of frames analysed after the value it
// jumped to, so these run with the virtual machine's audio: a calibration is
// listening, and passFrames lets the analysis count frames.
struct FineTuneAlgorithmTest : ::testing::Test
{
    FineTuneAlgorithmTest()
    {
        for (auto& entry : table)
            entry.store (0);
        rig.start();
        // The tests begin on a frame boundary.
        rig.run (1000.0, [this] { return rig.device()->getSamplesRendered() % 8192 == 0; });
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

    std::vector<int> stepsFor (Positioned<GuitarPlayerTuningAlgorithm>& algorithm, int note,
                               std::initializer_list<float> estimates)
    {
        std::vector<int> steps;
        for (auto hz : estimates)
        {
            algorithm.moveTo (note, 30000);
            algorithm.processFrequency (hz);
            steps.push_back ((int) algorithm.getCurrentValue() - 30000);
        }
        return steps;
    }

    SimRig rig;
    TuneKestruneEngine::CalibrationTable table;
    size_t marked = 0;
};
} // namespace

//==============================================================================
TEST_F (TuningAlgorithmTest, SweepStartsNote24AtTheLowestPitch)
{
    SweepUpTuningAlgorithm sweep (rig.midi, *rig.engine);
    EXPECT_EQ (rig.sent(), std::vector<std::string> { "write 24 65535" });
    EXPECT_EQ (rig.listener.all(), std::vector<std::string> { "note 24" });
    EXPECT_EQ (rig.engine->getCurrentNote(), 24);
    EXPECT_EQ (sweep.getProgress(), 0.0);
}

TEST_F (TuningAlgorithmTest, SweepStepTableAtNote24)
{
    Positioned<SweepUpTuningAlgorithm> sweep (rig.midi, *rig.engine);
    EXPECT_EQ (stepsFor (sweep, 24, { 40.0f, 37.71f, 35.0f, 33.71f, 33.5f, 20.0f, 0.0f }),
               (std::vector<int> { 50, 50, 15, 15, 3, -3, -3 }));
    EXPECT_EQ (stepsFor (sweep, 26, { 36.708f + 5.5f, 36.708f + 0.5f, 36.0f }), (std::vector<int> { 50, 3, -3 }));
}

TEST_F (TuningAlgorithmTest, SweepStepTableAtNote30AndAbove)
{
    Positioned<SweepUpTuningAlgorithm> sweep (rig.midi, *rig.engine);
    EXPECT_EQ (stepsFor (sweep, 30, { 50.0f, 48.5f, 47.6f, 46.6f, 45.0f, 10.0f }),
               (std::vector<int> { 100, 50, 20, 5, -5, -5 }));
    // 27 uses the wider table already; 63 still does.
    EXPECT_EQ (stepsFor (sweep, 27, { target (27) + 2.5f }), std::vector<int> { 50 });
    EXPECT_EQ (stepsFor (sweep, 63, { target (63) + 4.0f, target (63) - 0.3f }), (std::vector<int> { 100, -5 }));
}

TEST_F (TuningAlgorithmTest, SweepAcceptsWithin02HzAndStartsTheNextNoteFromTheSameValue)
{
    Positioned<SweepUpTuningAlgorithm> sweep (rig.midi, *rig.engine);
    sweep.moveTo (24, 64000);
    rig.ports->clearSent();
    rig.listener.clear();

    sweep.processFrequency (32.8f); // 0.097 above
    EXPECT_EQ (sweep.getCurrentNote(), 25);
    EXPECT_EQ (sweep.getResults()[24].value, 64000);
    EXPECT_EQ (sweep.getResults()[24].frequency, 32.8f);
    EXPECT_EQ (rig.sent(), std::vector<std::string> { "write 24 64000" });
    EXPECT_EQ (rig.listener.all(), std::vector<std::string> { "note 25" });

    sweep.moveTo (40, 30000);
    rig.ports->clearSent();
    rig.listener.clear();
    sweep.processFrequency (target (40) - 0.15f);
    EXPECT_EQ (rig.sent(), std::vector<std::string> { "write 24 30000" });
    EXPECT_EQ (rig.listener.all(), std::vector<std::string> { "note 41" });
}

TEST_F (TuningAlgorithmTest, SweepTreatsADifferenceOf02AsOffTarget)
{
    // Near a target the float difference moves in steps of the estimate's
    // spacing, so 0.2 itself is not reachable: take the closest estimates
    // on either side of the tolerance.
    Positioned<SweepUpTuningAlgorithm> sweep (rig.midi, *rig.engine);
    const float t = target (45);
    float hz = t;
    while ((double) (hz - t) < 0.2)
        hz = std::nextafter (hz, 1000.0f);
    const float justInside = std::nextafter (hz, 0.0f);
    ASSERT_LT ((double) (justInside - t), 0.2);

    EXPECT_EQ (stepsFor (sweep, 45, { hz }), std::vector<int> { 5 });
    EXPECT_EQ (sweep.getCurrentNote(), 45);
    EXPECT_EQ (stepsFor (sweep, 45, { justInside }), std::vector<int> { 0 });
    EXPECT_EQ (sweep.getCurrentNote(), 46);

    // Below the target alike.
    float low = t;
    while ((double) (t - low) < 0.2)
        low = std::nextafter (low, 0.0f);
    EXPECT_EQ (stepsFor (sweep, 45, { low }), std::vector<int> { -5 });
    EXPECT_EQ (stepsFor (sweep, 45, { std::nextafter (low, 1000.0f) }), std::vector<int> { 0 });
}

TEST_F (TuningAlgorithmTest, StepsWrapAroundTheSixteenBitRange)
{
    Positioned<SweepUpTuningAlgorithm> sweep (rig.midi, *rig.engine);
    sweep.moveTo (30, 65500);
    sweep.processFrequency (60.0f);
    EXPECT_EQ (sweep.getCurrentValue(), 64);
    sweep.moveTo (30, 2);
    sweep.processFrequency (20.0f);
    EXPECT_EQ (sweep.getCurrentValue(), 65533);
}

TEST_F (TuningAlgorithmTest, ProgressFollowsTheNote)
{
    Positioned<SweepUpTuningAlgorithm> sweep (rig.midi, *rig.engine);
    sweep.moveTo (44, 1);
    EXPECT_EQ (sweep.getProgress(), 0.5);
    sweep.moveTo (63, 1);
    EXPECT_EQ (sweep.getProgress(), 0.975);
}

//==============================================================================
TEST_F (FineTuneAlgorithmTest, StartsNote24FromItsReadBackValue)
{
    table[24] = 60000;
    GuitarPlayerTuningAlgorithm fine (rig.midi, *rig.engine, table);
    EXPECT_EQ (sent(), std::vector<std::string> { "write 24 60000" });
    EXPECT_EQ (rig.listener.milestones(), std::vector<std::string> { "note 24" });
}

TEST_F (FineTuneAlgorithmTest, NeitherStepsNorAcceptsUntilTwoWholeFramesFollowedTheJump)
{
    table[24] = 60000;
    GuitarPlayerTuningAlgorithm fine (rig.midi, *rig.engine, table);
    const auto samplesAtJump = rig.device()->getSamplesRendered();
    ASSERT_EQ (samplesAtJump % 8192, 0); // no frame in progress: it is the first to wait for
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
    EXPECT_EQ (sent(), std::vector<std::string> { "write 24 60100" });

    // On every tick from then on, the estimate unchanged or not.
    fine.processFrequency (100.0f);
    EXPECT_EQ (fine.getCurrentValue(), 60200);

    // Accepting jumps to the next note's value and waits again.
    table[25] = 50000;
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

TEST_F (FineTuneAlgorithmTest, StepTableAtNotes24And50)
{
    Positioned<GuitarPlayerTuningAlgorithm> fine (rig.midi, *rig.engine, table);
    passFrames (3);
    EXPECT_EQ (stepsFor (fine, 24, { 40.0f, 34.0f, 33.0f, 32.55f, 10.0f }), (std::vector<int> { 100, 10, 3, -3, -3 }));
    EXPECT_EQ (stepsFor (fine, 50, { 155.0f, 151.0f, 148.0f, 147.0f, 140.0f }), (std::vector<int> { 250, 50, 10, 3, -3 }));
    EXPECT_EQ (stepsFor (fine, 26, { target (26) + 6.5f }), std::vector<int> { 100 });
    EXPECT_EQ (stepsFor (fine, 27, { target (27) + 6.5f, target (27) + 3.5f }), (std::vector<int> { 250, 50 }));
}

TEST_F (FineTuneAlgorithmTest, AcceptsWithinHalfTheSweepTolerance)
{
    Positioned<GuitarPlayerTuningAlgorithm> fine (rig.midi, *rig.engine, table);
    Positioned<SweepUpTuningAlgorithm> sweep (rig.midi, *rig.engine);
    passFrames (3);

    EXPECT_EQ (stepsFor (fine, 40, { target (40) + 0.15f }), std::vector<int> { 3 });
    EXPECT_EQ (fine.getCurrentNote(), 40);
    sweep.moveTo (40, 30000);
    sweep.processFrequency (target (40) + 0.15f);
    EXPECT_EQ (sweep.getCurrentNote(), 41);

    fine.moveTo (24, 30000);
    fine.processFrequency (32.75f); // 0.047 above
    EXPECT_EQ (fine.getCurrentNote(), 25);
    EXPECT_EQ (fine.getResults()[24].value, 30000);
}

TEST_F (FineTuneAlgorithmTest, NextNoteStartsFromItsOwnReadBackValue)
{
    table[31] = 12345;
    Positioned<GuitarPlayerTuningAlgorithm> fine (rig.midi, *rig.engine, table);
    passFrames (3);
    fine.moveTo (30, 30000);
    mark();
    rig.listener.clear();

    fine.processFrequency (target (30));
    EXPECT_EQ (fine.getResults()[30].value, 30000);
    EXPECT_EQ (fine.getCurrentNote(), 31);
    EXPECT_EQ (sent(), std::vector<std::string> { "write 24 12345" });
    EXPECT_EQ (rig.listener.milestones(), std::vector<std::string> { "note 31" });
}

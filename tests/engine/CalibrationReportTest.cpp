#include "tuning/CalibrationReport.h"
#include "tuning/CalibrationReportReader.h"
#include "tuning/DefaultCalibration.h"

#include <gtest/gtest.h>

#include <array>

namespace
{
struct CalibrationReportTest : ::testing::Test
{
    CalibrationReportTest()
    {
        for (int note = 24; note < 64; ++note)
            results[(size_t) note] = { kDefaultCalibration[(size_t) (note - 24)],
                                       (float) (440.0 * std::pow (2.0, (note - 69) / 12.0)) };
    }
    bool write (const juce::Time& time, int size = 64) { return CalibrationReport::append (file, results.data(), size, time); }
    // Split on CR LF only, so that a stray CR or LF shows up in a line.
    juce::StringArray lines() const
    {
        juce::StringArray result;
        result.addTokens (file.loadFileAsString().replace ("\r\n", "\x01"), "\x01", {});
        return result;
    }

    juce::TemporaryFile temp { ".txt" };
    juce::File file = temp.getFile();
    std::array<TuningResult, 64> results {};
    const juce::Time morning { 2024, 2, 4, 9, 5, 7 };   // Monday 4 March 2024, 09:05:07 local
};
} // namespace

TEST_F (CalibrationReportTest, ReportsAreAppendedAsCrLfLinesWithFullNamesAndSixDigitFrequencies)
{
    EXPECT_EQ (CalibrationReport::headerLine (juce::Time (1999, 11, 31, 23, 59, 0)),
               "Tuning Results: Friday December 31 1999 At 23:59:0");
    for (const auto& [hz, text] : { std::pair { 103.826172f, "103.826" }, { 440.0f, "440" }, { 0.0f, "0" }, { 46.5f, "46.5" } })
        EXPECT_EQ (CalibrationReport::formatFrequency (hz), text);

    ASSERT_TRUE (file.replaceWithText ("earlier\r\n"));
    ASSERT_TRUE (write (morning));
    ASSERT_TRUE (write (juce::Time (2024, 2, 4, 10, 0, 0)));
    const auto l = lines();
    ASSERT_EQ (l.size(), 1 + 42 + 42 + 1);
    EXPECT_EQ (l[0], "earlier");
    EXPECT_EQ (l[1], "Tuning Results: Monday March 4 2024 At 9:5:7");
    EXPECT_EQ (l[2], "Midi Note: 24\tValue: 64821\tNew Frequency: 32.7032");
    EXPECT_EQ (l[41], "Midi Note: 63\tValue: 3865\tNew Frequency: 311.127");
    EXPECT_EQ (l[42], "");
    EXPECT_EQ (l[43], "Tuning Results: Monday March 4 2024 At 10:0:0");
    EXPECT_EQ (l[44], l[2]);
    EXPECT_EQ (l[84], "");
    EXPECT_EQ (l[85], "");

    // A table too short for note 63: the header and the empty line only.
    ASSERT_TRUE (file.replaceWithText (""));
    ASSERT_TRUE (write (morning, 24));
    EXPECT_EQ (file.loadFileAsString(), CalibrationReport::headerLine (morning) + "\r\n\r\n");
    // A folder or a full device: refused.
    EXPECT_FALSE (CalibrationReport::append (file.getParentDirectory(), results.data(), 64, morning));
    EXPECT_FALSE (juce::File ("/dev/full").exists() && CalibrationReport::append (juce::File ("/dev/full"), results.data(), 64, morning));
}

TEST_F (CalibrationReportTest, TheLastReportIsReadBackAndAnythingButACompleteFallingTableIsRefused)
{
    ASSERT_TRUE (write (morning));
    const auto good = lines();
    for (int note = 24; note < 64; ++note)
        results[(size_t) note].value = (juce::uint16) (results[(size_t) note].value - 7);
    const juce::Time later (2024, 2, 5, 10, 0, 0);
    ASSERT_TRUE (write (later));
    for (const bool crlf : { true, false })
    {
        const auto read = CalibrationReportReader::parse (crlf ? file.loadFileAsString() : file.loadFileAsString().replace ("\r\n", "\n"));
        ASSERT_TRUE (read.ok) << read.error;
        EXPECT_EQ (read.header, CalibrationReport::headerLine (later));
        for (int note = 24; note < 64; ++note)
            EXPECT_EQ (read.values[(size_t) (note - 24)], results[(size_t) note].value) << crlf;
    }
    EXPECT_TRUE (CalibrationReportReader::read (file).ok);

    const auto textWith = [&] (int row, const juce::String& replacement) {
        auto copy = good;
        replacement.isEmpty() ? copy.remove (row) : copy.set (row, replacement);
        return copy.joinIntoString ("\r\n");
    };
    const auto rowFor = [] (int note, const char* value) {
        return "Midi Note: " + juce::String (note) + "\tValue: " + value + "\tNew Frequency: 32.7";
    };
    struct Case
    {
        juce::String text;
        const char* reason;   // nullptr: accepted
    };
    for (const auto& c : { Case { "Midi Note: 24\tValue: 3\tNew Frequency: 1\r\n", "No calibration report" },
                           Case { textWith (40, {}), "has 39 rows" },
                           Case { textWith (41, rowFor (64, "1")), "has 41 rows" },
                           Case { textWith (6, rowFor (31, "60000")), "is for MIDI note 31 where note 29" },
                           Case { textWith (40, rowFor (63, "0")), "from 1 to 65534" },
                           Case { textWith (1, rowFor (24, "65535")), "from 1 to 65534" },
                           Case { textWith (3, rowFor (26, "6e4")), "from 1 to 65534" },
                           Case { textWith (11, rowFor (34, "58488")), "must fall" },
                           Case { textWith (2, "Midi Note: 25 Value: 64280"), "not a calibration row" },
                           Case { textWith (1, rowFor (24, "65534")), nullptr },
                           Case { textWith (40, rowFor (63, "1")), nullptr } })
    {
        SCOPED_TRACE (c.text.substring (0, 300));
        const auto read = CalibrationReportReader::parse (c.text);
        EXPECT_EQ (read.ok, c.reason == nullptr);
        EXPECT_TRUE (c.reason == nullptr || read.error.contains (c.reason)) << read.error;
    }
    EXPECT_TRUE (CalibrationReportReader::read (file.getSiblingFile ("missing.txt")).error.contains ("does not exist"));
    EXPECT_FALSE (CalibrationReportReader::read (file.getParentDirectory()).ok);
}

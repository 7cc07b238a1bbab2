#include "tuning/CalibrationReport.h"
#include "tuning/CalibrationReportReader.h"
#include "tuning/DefaultCalibration.h"

#include <gtest/gtest.h>

#include <array>

namespace
{
struct CalibrationReportTest : ::testing::Test
{
    juce::TemporaryFile temp { ".txt" };
    juce::File file = temp.getFile();
    std::array<TuningResult, 64> results {};

    void SetUp() override
    {
        for (int note = 24; note < 64; ++note)
            results[(size_t) note] = { kDefaultCalibration[(size_t) (note - 24)],
                                       (float) (440.0 * std::pow (2.0, (note - 69) / 12.0)) };
    }

    bool write (const juce::Time& time) { return CalibrationReport::append (file, results.data(), 64, time); }

    juce::StringArray lines() const
    {
        // Split on CR LF only, so a stray CR or LF shows up in a line.
        juce::StringArray result;
        result.addTokens (file.loadFileAsString().replace ("\r\n", "\x01"), "\x01", {});
        return result;
    }
};

const juce::Time morning (2024, 2, 4, 9, 5, 7); // Monday 4 March 2024, 09:05:07 local
} // namespace

TEST (CalibrationReportFormat, HeaderHasFullNamesAndNoLeadingZeros)
{
    EXPECT_EQ (CalibrationReport::headerLine (morning), "Tuning Results: Monday March 4 2024 At 9:5:7");
    EXPECT_EQ (CalibrationReport::headerLine (juce::Time (1999, 11, 31, 23, 59, 0)),
               "Tuning Results: Friday December 31 1999 At 23:59:0");
    EXPECT_EQ (CalibrationReport::headerLine (juce::Time (2023, 0, 1, 0, 0, 10)),
               "Tuning Results: Sunday January 1 2023 At 0:0:10");
}

TEST (CalibrationReportFormat, FrequencyHasSixSignificantDigitsWithoutTrailingZeros)
{
    EXPECT_EQ (CalibrationReport::formatFrequency (32.703197f), "32.7032");
    EXPECT_EQ (CalibrationReport::formatFrequency (103.826172f), "103.826");
    EXPECT_EQ (CalibrationReport::formatFrequency (440.0f), "440");
    EXPECT_EQ (CalibrationReport::formatFrequency (0.0f), "0");
    EXPECT_EQ (CalibrationReport::formatFrequency (46.5f), "46.5");
    EXPECT_EQ (CalibrationReport::formatFrequency (311.127f), "311.127");
}

TEST (CalibrationReportFormat, RowIsTabSeparated)
{
    EXPECT_EQ (CalibrationReport::row (24, { 64821, 32.703197f }),
               "Midi Note: 24\tValue: 64821\tNew Frequency: 32.7032");
    EXPECT_EQ (CalibrationReport::row (63, { 65535, 311.127f }), "Midi Note: 63\tValue: 65535\tNew Frequency: 311.127");
}

TEST_F (CalibrationReportTest, ReportHas42CrLfLinesEndingInAnEmptyLine)
{
    ASSERT_TRUE (write (morning));

    const auto text = file.loadFileAsString();
    EXPECT_TRUE (text.endsWith ("\r\n\r\n"));
    EXPECT_EQ (text.length() - text.replace ("\r\n", "").length(), 2 * 42);
    EXPECT_FALSE (text.replace ("\r\n", "").containsAnyOf ("\r\n"));

    const auto l = lines();
    ASSERT_EQ (l.size(), 43); // the 42 lines and what follows the last line end
    EXPECT_EQ (l[0], CalibrationReport::headerLine (morning));
    EXPECT_EQ (l[1], "Midi Note: 24\tValue: 64821\tNew Frequency: 32.7032");
    EXPECT_EQ (l[40], "Midi Note: 63\tValue: 3865\tNew Frequency: 311.127");
    EXPECT_EQ (l[41], "");
    EXPECT_EQ (l[42], "");

    // Plain ASCII, no byte-order mark.
    juce::MemoryBlock bytes;
    file.loadFileAsData (bytes);
    EXPECT_EQ ((juce::uint8) bytes[0], (juce::uint8) 'T');
}

TEST_F (CalibrationReportTest, AppendingTwiceKeepsBothReportsAndEarlierContent)
{
    ASSERT_TRUE (file.replaceWithText ("earlier\r\n"));
    ASSERT_TRUE (write (morning));
    ASSERT_TRUE (write (juce::Time (2024, 2, 4, 10, 0, 0)));

    const auto l = lines();
    ASSERT_EQ (l.size(), 1 + 42 + 42 + 1);
    EXPECT_EQ (l[0], "earlier");
    EXPECT_EQ (l[1], "Tuning Results: Monday March 4 2024 At 9:5:7");
    EXPECT_EQ (l[42], "");
    EXPECT_EQ (l[43], "Tuning Results: Monday March 4 2024 At 10:0:0");
    EXPECT_EQ (l[44], l[2]);
    EXPECT_EQ (l[84], "");
}

TEST_F (CalibrationReportTest, ShortTableGivesHeaderAndEmptyLineOnly)
{
    ASSERT_TRUE (CalibrationReport::append (file, results.data(), 24, morning));
    EXPECT_EQ (file.loadFileAsString(), CalibrationReport::headerLine (morning) + "\r\n\r\n");
}

TEST_F (CalibrationReportTest, DirectoryOrUnwritableFileIsRefusedWithoutWriting)
{
    const auto folder = file.getSiblingFile ("report-folder-" + juce::String (juce::Random::getSystemRandom().nextInt64()));
    ASSERT_TRUE (folder.createDirectory());
    EXPECT_FALSE (CalibrationReport::append (folder, results.data(), 64, morning));
    EXPECT_EQ (folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);

    const auto locked = folder.getChildFile ("locked.txt");
    ASSERT_TRUE (locked.replaceWithText ("keep"));
    ASSERT_TRUE (locked.setReadOnly (true));
    if (! locked.hasWriteAccess()) // root can write anyway
    {
        EXPECT_FALSE (CalibrationReport::append (locked, results.data(), 64, morning));
        EXPECT_EQ (locked.loadFileAsString(), "keep");
    }
    locked.setReadOnly (false);
    folder.deleteRecursively();
}

TEST_F (CalibrationReportTest, AFailedWriteIsReported)
{
    const juce::File full ("/dev/full");
    if (! full.exists())
        GTEST_SKIP() << "no /dev/full here";
    EXPECT_FALSE (CalibrationReport::append (full, results.data(), 64, morning));
}

//==============================================================================
TEST_F (CalibrationReportTest, TheLastReportWrittenIsReadBackWhateverTheLineEnds)
{
    ASSERT_TRUE (write (morning));
    for (int note = 24; note < 64; ++note)
        results[(size_t) note].value = (juce::uint16) (results[(size_t) note].value - 7);
    const juce::Time later (2024, 2, 5, 10, 0, 0);
    ASSERT_TRUE (write (later));

    for (const bool crlf : { true, false })
    {
        SCOPED_TRACE (crlf);
        const auto text = crlf ? file.loadFileAsString() : file.loadFileAsString().replace ("\r\n", "\n");
        const auto read = CalibrationReportReader::parse (text);
        ASSERT_TRUE (read.ok) << read.error;
        EXPECT_EQ (read.header, CalibrationReport::headerLine (later));
        for (int note = 24; note < 64; ++note)
            EXPECT_EQ (read.values[(size_t) (note - 24)], results[(size_t) note].value);
    }
    EXPECT_TRUE (CalibrationReportReader::read (file).ok);
}

TEST_F (CalibrationReportTest, AnythingButACompleteFallingTableIsRefusedWithAReason)
{
    ASSERT_TRUE (write (morning));
    const auto good = lines();   // header, 40 rows, empty line, and the empty piece after the last CR LF
    const auto textWith = [&] (int row, const juce::String& replacement) {
        auto copy = good;
        if (replacement.isEmpty())
            copy.remove (row);
        else
            copy.set (row, replacement);
        return copy.joinIntoString ("\r\n");
    };
    const auto rowFor = [] (int note, const char* value) {
        return "Midi Note: " + juce::String (note) + "\tValue: " + value + "\tNew Frequency: 32.7";
    };

    struct Case
    {
        const char* name;
        juce::String text;
        const char* reason;
    };
    const std::vector<Case> cases {
        { "no report", "Midi Note: 24\tValue: 3\tNew Frequency: 1\r\n", "No calibration report" },
        { "39 rows", textWith (40, {}), "has 39 rows" },
        { "41 rows", textWith (41, rowFor (64, "1")), "has 41 rows" },
        { "rows out of order", textWith (6, rowFor (31, "60000")), "is for MIDI note 31 where note 29" },
        { "value 0", textWith (40, rowFor (63, "0")), "from 1 to 65534" },
        { "value 65535", textWith (1, rowFor (24, "65535")), "from 1 to 65534" },
        { "value not a number", textWith (3, rowFor (26, "6e4")), "from 1 to 65534" },
        { "values not falling", textWith (11, rowFor (34, "58488")), "must fall" },
        { "a row of something else", textWith (2, "Midi Note: 25 Value: 64280"), "not a calibration row" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto read = CalibrationReportReader::parse (c.text);
        EXPECT_FALSE (read.ok);
        EXPECT_TRUE (read.error.contains (c.reason)) << read.error;
    }

    // The extremes themselves are values.
    auto extremes = good;
    extremes.set (1, rowFor (24, "65534"));
    extremes.set (40, rowFor (63, "1"));
    const auto read = CalibrationReportReader::parse (extremes.joinIntoString ("\r\n"));
    EXPECT_TRUE (read.ok) << read.error;

    EXPECT_TRUE (CalibrationReportReader::read (file.getSiblingFile ("missing.txt")).error.contains ("does not exist"));
    EXPECT_FALSE (CalibrationReportReader::read (file.getParentDirectory()).ok);
}

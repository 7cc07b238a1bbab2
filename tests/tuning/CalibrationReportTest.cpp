#include "tuning/CalibrationReport.h"
#include "tuning/CalibrationReportReader.h"
#include "tuning/DefaultCalibration.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#if ! JUCE_WINDOWS
 #include <sys/stat.h>
#endif

TEST (CalibrationReport, ReportsAreAppendedAsCrLfLinesAndTheLastIsReadBackOrRefusedWithAReason)
{
    std::array<TuningResult, 64> results {};
    for (int note = 24; note < 64; ++note)
        results[(size_t) note] = { defaultCalibration[(size_t) (note - 24)], (float) (440.0 * std::pow (2.0, (note - 69) / 12.0)) };
    juce::TemporaryFile temp (".txt");
    const auto file = temp.getFile();
    const juce::Time morning (2024, 2, 4, 9, 5, 7);   // Monday 4 March 2024, 09:05:07 local
    const auto lines = [&] {   // split on CR LF only, so that a stray CR or LF shows up in a line
        juce::StringArray result;
        result.addTokens (file.loadFileAsString().replace ("\r\n", "\x01"), "\x01", {});
        return result;
    };
    // Too short a table for note 63: the header and the empty line only. A folder or a full device: refused.
    ASSERT_TRUE (CalibrationReport::append (file, results.data(), 24, morning));
    EXPECT_EQ (file.loadFileAsString(), CalibrationReport::headerLine (morning) + "\r\n\r\n");
    EXPECT_FALSE (CalibrationReport::append (file.getParentDirectory(), results.data(), 64, morning));
#if JUCE_LINUX
    EXPECT_FALSE (CalibrationReport::append (juce::File ("/dev/full"), results.data(), 64, morning));
#endif

    ASSERT_TRUE (file.replaceWithText ("earlier\r\n"));
    ASSERT_TRUE (CalibrationReport::append (file, results.data(), 64, morning));
    const auto good = lines();
    for (int note = 24; note < 64; ++note)
        results[(size_t) note].value = (juce::uint16) (results[(size_t) note].value - 7);
    ASSERT_TRUE (CalibrationReport::append (file, results.data(), 64, juce::Time (2024, 2, 4, 10, 0, 0)));
    const auto l = lines();
    ASSERT_EQ (l.size(), 1 + 42 + 42 + 1);
    for (const auto& [line, text] : { std::pair { 0, "earlier" }, { 1, "Tuning Results: Monday March 4 2024 At 9:5:7" },
                                      { 2, "Midi Note: 24\tValue: 64821\tNew Frequency: 32.7032" },
                                      { 41, "Midi Note: 63\tValue: 3865\tNew Frequency: 311.127" }, { 42, "" },
                                      { 43, "Tuning Results: Monday March 4 2024 At 10:0:0" }, { 84, "" }, { 85, "" } })
        EXPECT_EQ (l[line], text) << line;

    for (const bool crlf : { true, false })
    {
        const auto text = file.loadFileAsString();
        const auto read = CalibrationReportReader::parse (crlf ? text : text.replace ("\r\n", "\n"));
        ASSERT_TRUE (read.ok) << read.error;
        EXPECT_EQ (read.header, l[43]);
        for (int note = 24; note < 64; ++note)
            EXPECT_EQ (read.values[(size_t) (note - 24)], results[(size_t) note].value) << crlf;
    }

    const auto with = [&] (int line, const juce::String& replacement) {
        auto copy = good;
        replacement.isEmpty() ? copy.remove (line) : copy.set (line, replacement);
        return copy.joinIntoString ("\r\n");
    };
    const auto row = [] (int note, const char* value) {
        return "Midi Note: " + juce::String (note) + "\tValue: " + value + "\tNew Frequency: 32.7";
    };
    struct Case
    {
        juce::String text;
        const char* reason;   // nullptr: accepted
    };
    for (const auto& c : { Case { "Midi Note: 24\tValue: 3\tNew Frequency: 1\r\n", "No calibration report" },
                           Case { with (41, {}), "has 39 rows" }, Case { with (42, row (64, "1")), "has 41 rows" },
                           Case { with (7, row (31, "60000")), "is for MIDI note 31 where note 29" },
                           Case { with (41, row (63, "0")), "is 0" }, Case { with (2, row (24, "0")), "is 0" },
                           Case { with (4, row (26, "6e4")), "from 1 to 65535" },
                           Case { with (4, row (26, "65536")), "from 1 to 65535" },
                           Case { with (12, row (34, "58488")), "must fall" },
                           Case { with (3, "Midi Note: 25 Value: 64280"), "not a calibration row" },
                           // A Sweep Tune may accept note 24 at the lowest pitch.
                           Case { with (2, row (24, "65535")), nullptr }, Case { with (41, row (63, "1")), nullptr },
                           Case { with (0, {}), nullptr },
                           // A report cut short after a complete one; line ends converted twice.
                           Case { good.joinIntoString ("\r\n") + "Tuning Results: later\r\n" + row (24, "1"), nullptr },
                           Case { good.joinIntoString ("\r\r\n"), nullptr } })
    {
        SCOPED_TRACE (c.text.substring (0, 300));
        const auto read = CalibrationReportReader::parse (c.text);
        EXPECT_EQ (read.ok, c.reason == nullptr);
        EXPECT_TRUE (c.reason == nullptr || read.error.contains (c.reason)) << read.error;
    }

    // Refused before anything is read: a file too large, and where the
    // system has them, a pipe and a device.
    const auto large = file.getSiblingFile ("calibration-large.txt");
    ASSERT_TRUE (large.replaceWithText (good.joinIntoString ("\r\n") + juce::String::repeatedString (" ", 1024 * 1024)));
    std::vector<std::pair<juce::File, const char*>> refused { { file.getSiblingFile ("missing.txt"), "does not exist" }, { large, "too large" } };
#if ! JUCE_WINDOWS
    const auto fifo = file.getSiblingFile ("calibration-fifo");
    ASSERT_EQ (mkfifo (fifo.getFullPathName().toRawUTF8(), 0600), 0);
    const auto zero = file.getSiblingFile ("calibration-zero");
    ASSERT_TRUE (juce::File ("/dev/zero").createSymbolicLink (zero, true));
    refused.insert (refused.end(), { { fifo, "not a file" }, { zero, "not a file" } });
#endif
    for (const auto& [path, reason] : refused)
    {
        EXPECT_TRUE (CalibrationReportReader::read (path).error.contains (reason)) << path.getFullPathName();
        path.deleteFile();
    }
}

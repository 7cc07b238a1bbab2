#include "core/UserDataFolder.h"
#include "midi/DeviceMessages.h"
#include "tuning/CalibrationJournal.h"
#include "tuning/StoredCalibration.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <regex>
#include <set>
#include <string>

#if JUCE_LINUX || JUCE_MAC
 #include <sys/stat.h>
#endif

namespace
{
using State = CalibrationJournal::Entry::State;

CalibrationJournal::Table sampleTable (juce::uint16 offset = 0)
{
    CalibrationJournal::Table table {};
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = (juce::uint16) (64000 - 37 * (int) i - offset);
    table[0] = 0;
    table[1] = 65535;
    return table;
}

// The format written out by hand, with the textbook CRC-32, so that the
// writer and the reader cannot agree on a wrong one.
std::string withCheck (const std::string& body)
{
    juce::uint32 crc = 0xffffffffu;
    for (const char c : body)
        for (int bit = 0, byte = (juce::uint8) c; bit < 8; ++bit, byte >>= 1)
            crc = (crc >> 1) ^ (((crc ^ (juce::uint32) byte) & 1u) ? 0xedb88320u : 0u);
    return body + "check " + juce::String::toHexString ((juce::int64) ~crc).paddedLeft ('0', 8).toStdString() + "\n";
}

std::string valuesLine (int count = 40, const std::string& sixth = {})
{
    const auto table = sampleTable();
    std::string line = "values";
    for (int i = 0; i < count; ++i)
        line += " " + (i == 5 && ! sixth.empty() ? sixth : std::to_string (table[(size_t) i % table.size()]));
    return line + "\n";
}

const std::string heading = "Kestrune calibration journal 1\n";
const std::string validOpen = withCheck (heading + "state open\n" + valuesLine());

std::string readText (const juce::File& file)
{
    juce::MemoryBlock block;
    file.loadFileAsData (block);
    return block.toString().toStdString();
}
} // namespace

class CalibrationJournalTest : public ::testing::Test
{
protected:
    void TearDown() override { folder.deleteRecursively(); }

    void write (const std::string& text) const
    {
        ASSERT_TRUE (path.getParentDirectory().createDirectory());
        // Not replaceWithData, which deletes the file when given no bytes.
        juce::FileOutputStream out (path);
        ASSERT_TRUE (out.openedOk() && out.write (text.data(), text.size()));
    }

    juce::File folder = juce::File::createTempFile ("journal-test");
    juce::File path = folder.getChildFile ("data/calibration-journal.txt");
    CalibrationJournal journal { path };
};

TEST_F (CalibrationJournalTest, EachWriteLeavesOneFileInTheFormatThatReadsBack)
{
    EXPECT_EQ (journal.read().state, State::none);

    const struct
    {
        bool open;
        juce::uint16 offset;
    } steps[] = { { true, 0 }, { false, 1 }, { true, 2 }, { true, 3 }, { false, 3 } };
    for (const auto& step : steps)
    {
        SCOPED_TRACE (std::string (step.open ? "open " : "settle ") + std::to_string (step.offset));
        const auto table = sampleTable (step.offset);
        ASSERT_TRUE (step.open ? journal.open (table) : journal.settle (table));
        // Waits for a settle, which is written in the background.
        const auto entry = journal.read();

        std::string values = "values";
        for (auto value : table)
            values += " " + std::to_string (value);
        EXPECT_EQ (readText (path), withCheck (heading + (step.open ? "state open\n" : "state settled\n") + values + "\n"));
        EXPECT_EQ (path.getParentDirectory().getNumberOfChildFiles (juce::File::findFilesAndDirectories, "*"), 1)
            << "a temporary file was left behind";
        EXPECT_EQ (entry.state, step.open ? State::open : State::settled);
        EXPECT_EQ (entry.values, table);
    }

    // A settle still being written when its journal goes (at quit) lands.
    std::make_unique<CalibrationJournal> (path)->settle (sampleTable (9));
    EXPECT_EQ (journal.read().values, sampleTable (9));
}

TEST_F (CalibrationJournalTest, OnlySoundFilesAreTrustedAndTheRestAreSetAside)
{
    const auto text = [this] (std::string contents) { return [this, contents] { write (contents); }; };
    const struct
    {
        const char* name;
        std::function<void()> make;
        State expected;
    } cases[] = {
        { "CR LF line ends", text (juce::String (validOpen).replace ("\n", "\r\n").toStdString()), State::open },
        { "empty", text (""), State::unreadable },
        { "wrong heading", text (withCheck ("Kestrune calibration journal 2\nstate open\n" + valuesLine())), State::unreadable },
        { "unknown state", text (withCheck (heading + "state half\n" + valuesLine())), State::unreadable },
        { "39 values", text (withCheck (heading + "state open\n" + valuesLine (39))), State::unreadable },
        { "41 values", text (withCheck (heading + "state open\n" + valuesLine (41))), State::unreadable },
        { "65536", text (withCheck (heading + "state open\n" + valuesLine (40, "65536"))), State::unreadable },
        { "70000", text (withCheck (heading + "state open\n" + valuesLine (40, "70000"))), State::unreadable },
        { "-1", text (withCheck (heading + "state open\n" + valuesLine (40, "-1"))), State::unreadable },
        { "abc", text (withCheck (heading + "state open\n" + valuesLine (40, "abc"))), State::unreadable },
        { "a comma between values", text (withCheck (heading + "state open\n" + valuesLine (39, "1,2"))), State::unreadable },
        { "an empty value", text (withCheck (heading + "state open\n" + valuesLine (39, "1 "))), State::unreadable },
        { "bad check", text (heading + "state open\n" + valuesLine() + "check 00000000\n"), State::unreadable },
        { "missing check", text (heading + "state open\n" + valuesLine()), State::unreadable },
        { "truncated in the values", text (validOpen.substr (0, 80)), State::unreadable },
        { "a line after the check", text (validOpen + "\n"), State::unreadable },
        { "10 MB", text (validOpen + std::string (10 * 1024 * 1024, ' ')), State::unreadable },
        { "a folder", [this] { ASSERT_TRUE (path.createDirectory()); }, State::unreadable },
#if JUCE_LINUX || JUCE_MAC
        { "a FIFO", [this] {
             ASSERT_TRUE (path.getParentDirectory().createDirectory());
             ASSERT_EQ (::mkfifo (path.getFullPathName().toRawUTF8(), 0600), 0);
         }, State::unreadable },
        { "a link to /dev/zero", [this] {
             ASSERT_TRUE (path.getParentDirectory().createDirectory());
             ASSERT_TRUE (juce::File ("/dev/zero").createSymbolicLink (path, false));
         }, State::unreadable },
#endif
    };

    std::set<juce::String> setAside;
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        c.make();
        const auto entry = journal.read();
        ASSERT_EQ (entry.state, c.expected);
        if (c.expected != State::unreadable)
        {
            EXPECT_EQ (entry.values, sampleTable());
            path.deleteFile();
            continue;
        }
        EXPECT_TRUE (entry.problem.isNotEmpty());
        EXPECT_FALSE (path.exists() || path.isSymbolicLink());
        EXPECT_TRUE (entry.setAsideAs.exists() || entry.setAsideAs.isSymbolicLink());
        EXPECT_EQ (entry.setAsideAs.getParentDirectory(), path.getParentDirectory());
        EXPECT_TRUE (std::regex_match (entry.setAsideAs.getFileName().toStdString(),
                                       std::regex (R"(calibration-journal\.txt\.unreadable-\d{8}-\d{6}(-\d+)?)")))
            << entry.setAsideAs.getFileName();
        // Several in one second must not replace one another.
        EXPECT_TRUE (setAside.insert (entry.setAsideAs.getFullPathName()).second);
        EXPECT_EQ (journal.read().state, State::none);
    }
}

TEST_F (CalibrationJournalTest, WritesFailWhereNoFolderCanBeMade)
{
    ASSERT_TRUE (folder.replaceWithText ("a file where the folder would be"));
    EXPECT_FALSE (journal.open (sampleTable()));
    EXPECT_FALSE (journal.settle (sampleTable()));
}

#if JUCE_LINUX
TEST (UserDataFolder, FollowsXdgDataHome)
{
    const auto* previous = ::getenv ("XDG_DATA_HOME");
    const std::string saved = previous != nullptr ? previous : "";
    const auto temp = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("xdg-data-test");
    ::setenv ("XDG_DATA_HOME", temp.getFullPathName().toRawUTF8(), 1);
    const auto fromXdg = UserDataFolder::get();
    ::setenv ("XDG_DATA_HOME", "relative/data", 1);
    const auto fromRelative = UserDataFolder::get();
    if (previous != nullptr)
        ::setenv ("XDG_DATA_HOME", saved.c_str(), 1);
    else
        ::unsetenv ("XDG_DATA_HOME");

    EXPECT_EQ (fromXdg, temp.getChildFile ("kestrune-tuning-utility"));
    EXPECT_EQ (fromRelative, juce::File ("~/.local/share/kestrune-tuning-utility"));
    EXPECT_FALSE (fromXdg.exists());
}
#endif

// Notes that held values of ours are freed one by one as the machine confirms
// its stored value for them; the journal settles only once none is left.
TEST_F (CalibrationJournalTest, StoredCalibrationSettlesOnlyWhenEveryAlteredNoteMatchesAgain)
{
    auto shared = std::make_shared<CalibrationJournal> (path);
    StoredCalibration stored (shared);
    StoredCalibration::Values readBack {}, confirmed {};
    for (int note = DeviceMessages::firstCalibratedNote; note <= DeviceMessages::lastCalibratedNote; ++note)
        readBack[(size_t) note] = (juce::uint16) (1000 + note);
    stored.takeReadBack (readBack);
    stored.aboutToAlter (0);   // no note: nothing of ours goes out
    EXPECT_EQ (shared->read().state, State::none);
    stored.aboutToAlter ((juce::uint64 { 1 } << 30) | (juce::uint64 { 1 } << 31));
    ASSERT_EQ (shared->read().state, State::open);

    confirmed[30] = readBack[30];
    confirmed[31] = (juce::uint16) 7;   // still ours
    stored.matched (confirmed);
    EXPECT_EQ (stored.getAlteredNotes(), juce::uint64 { 1 } << 31);
    EXPECT_EQ (shared->read().state, State::open);

    confirmed[31] = readBack[31];
    stored.matched (confirmed);
    EXPECT_FALSE (stored.isAltered());
    EXPECT_EQ (shared->read().state, State::settled);

    // A whole table confirmed and committed is what the machine stores, to the last note.
    for (int note = DeviceMessages::firstCalibratedNote; note <= DeviceMessages::lastCalibratedNote; ++note)
        confirmed[(size_t) note] = (juce::uint16) (2000 + note);
    stored.aboutToAlter (StoredCalibration::notesOf (confirmed));
    stored.stored (confirmed);
    EXPECT_EQ (stored.getStoredValues(), confirmed);
    EXPECT_EQ (shared->read().state, State::settled);
}

TEST_F (CalibrationJournalTest, AnEntryWrittenInTheBackgroundHoldsOurValuesBackUntilItIsOnDiskOrTheWaitIsOver)
{
    // A job ahead of the entry's write on the journal's worker: a slow disk.
    auto worker = std::make_shared<SerialWorker>();
    std::promise<void> disk;
    worker->post ([done = disk.get_future().share()] { done.wait(); });
    auto shared = std::make_shared<CalibrationJournal> (path, worker);
    StoredCalibration stored (shared);
    StoredCalibration::Values readBack {};
    for (int note = DeviceMessages::firstCalibratedNote; note <= DeviceMessages::lastCalibratedNote; ++note)
        readBack[(size_t) note] = (juce::uint16) (1000 + note);
    stored.takeReadBack (readBack);

    // Begun just before the millisecond counter wraps.
    const juce::uint32 since = 0xffffff00u, wait = StoredCalibration::journalWaitMs;
    stored.aboutToAlterSoon (juce::uint64 { 1 } << 24, since);
    EXPECT_FALSE (stored.mayAlterNow (since));
    EXPECT_FALSE (stored.mayAlterNow (since + wait - 1));
    EXPECT_TRUE (stored.mayAlterNow (since + wait)) << "the caller's own thread waits for the rest";
    EXPECT_FALSE (path.exists());

    disk.set_value();
    stored.aboutToAlter (juce::uint64 { 1 } << 24);   // returns once the entry is on disk
    EXPECT_TRUE (path.loadFileAsString().contains ("state open"));
    // A later entry that is written at once holds nothing back.
    stored.stored (readBack);
    stored.aboutToAlterSoon (juce::uint64 { 1 } << 25, 5);
    shared->waitUntilWritten();
    EXPECT_TRUE (stored.mayAlterNow (5));
}

#include "CalibrationJournal.h"

#include "core/UserDataFolder.h"

#include <string>
#include <vector>

#if JUCE_LINUX || JUCE_MAC
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace
{
const std::string heading = "Kestrune calibration journal 1";

// A valid journal is about 300 bytes; anything much larger is not one and is
// never read whole.
constexpr juce::int64 maxFileSize = 4096;

juce::uint32 crc32 (const std::string& bytes)
{
    juce::uint32 crc = 0xffffffffu;
    for (const char c : bytes)
    {
        crc ^= (juce::uint8) c;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string checkLine (const std::string& body)
{
    return "check " + juce::String::toHexString ((juce::int64) crc32 (body)).paddedLeft ('0', 8).toStdString();
}

// One rename(2), which replaces the target atomically. JUCE's moves fall back
// to copying when a rename fails, which would write the journal in place or
// read from a FIFO that is being set aside.
bool renameFile (const juce::File& from, const juce::File& to)
{
#if JUCE_LINUX || JUCE_MAC
    return ::rename (from.getFullPathName().toRawUTF8(), to.getFullPathName().toRawUTF8()) == 0;
#else
    return from.replaceFileIn (to);
#endif
}

// Makes a rename in the folder survive a power loss. Best effort: not every
// file system can sync a folder, and the rename has already happened.
void syncFolder ([[maybe_unused]] const juce::File& folder)
{
#if JUCE_LINUX || JUCE_MAC
    const int fd = ::open (folder.getFullPathName().toRawUTF8(), O_RDONLY);
    if (fd >= 0)
    {
        ::fsync (fd);
        ::close (fd);
    }
#endif
}

// Checked before opening: a FIFO would block the open and a device could
// read without end.
juce::String whyNotARegularFile (const juce::File& file)
{
#if JUCE_LINUX || JUCE_MAC
    struct stat info {};
    if (::stat (file.getFullPathName().toRawUTF8(), &info) != 0)
        return "The calibration journal could not be examined.";
    if (! S_ISREG (info.st_mode))
        return "The calibration journal is not an ordinary file.";
    const juce::int64 size = info.st_size;
#else
    if (! file.existsAsFile())
        return "The calibration journal is not an ordinary file.";
    const juce::int64 size = file.getSize();
#endif
    if (size > maxFileSize)
        return "The calibration journal is far larger than one can be.";
    return {};
}

bool parseValues (const std::string& line, CalibrationJournal::Table& values)
{
    const std::string prefix = "values ";
    if (line.compare (0, prefix.size(), prefix) != 0)
        return false;

    size_t pos = prefix.size();
    for (size_t i = 0; i < values.size(); ++i)
    {
        if (i > 0 && (pos >= line.size() || line[pos++] != ' '))
            return false;
        const size_t start = pos;
        juce::uint32 value = 0;
        while (pos < line.size() && pos - start < 6 && line[pos] >= '0' && line[pos] <= '9')
            value = value * 10 + (juce::uint32) (line[pos++] - '0');
        if (pos == start || value > 65535)
            return false;
        values[i] = (juce::uint16) value;
    }
    return pos == line.size();
}

// The problem with the text, or nothing when it is a sound journal.
juce::String parse (const std::string& text, CalibrationJournal::Entry& entry)
{
    if (text.empty())
        return "The calibration journal is empty.";
    for (const char c : text)
        if ((c < 0x20 || c > 0x7e) && c != '\n' && c != '\r')
            return "The calibration journal holds characters that do not belong in one.";

    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();)
    {
        auto end = text.find ('\n', start);
        if (end == std::string::npos)
            end = text.size();
        auto line = text.substr (start, end - start);
        if (! line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back (line);
        start = end + 1;
    }

    if (lines[0] != heading)
        return "The file does not begin like a calibration journal.";
    if (lines.size() < 2 || (lines[1] != "state open" && lines[1] != "state settled"))
        return "The calibration journal does not say whether the calibration was finished.";
    if (lines.size() < 3 || ! parseValues (lines[2], entry.values))
        return "The calibration journal does not hold " + juce::String (CalibrationJournal::numValues)
               + " calibration values from 0 to 65535.";
    if (lines.size() < 4)
        return "The calibration journal ends before its check line.";
    if (lines.size() > 4)
        return "The calibration journal goes on after its check line.";
    // Line ends count as "\n", so a journal whose line ends became CR LF still checks.
    if (lines[3] != checkLine (lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n"))
        return "The calibration journal fails its check: it was changed or damaged.";

    entry.state = lines[1] == "state open" ? CalibrationJournal::Entry::State::open
                                           : CalibrationJournal::Entry::State::settled;
    return {};
}

juce::String readAndParse (const juce::File& file, CalibrationJournal::Entry& entry)
{
    if (auto problem = whyNotARegularFile (file); problem.isNotEmpty())
        return problem;

    juce::FileInputStream in (file);
    if (! in.openedOk())
        return "The calibration journal could not be opened.";
    // Bounded, in case the file grew since it was examined.
    juce::MemoryBlock bytes;
    in.readIntoMemoryBlock (bytes, maxFileSize + 1);
    if (in.getStatus().failed())
        return "The calibration journal could not be read.";
    if ((juce::int64) bytes.getSize() > maxFileSize)
        return "The calibration journal is far larger than one can be.";
    return parse (std::string (static_cast<const char*> (bytes.getData()), bytes.getSize()), entry);
}

juce::File setAside (const juce::File& file)
{
    const auto name = file.getFileName() + ".unreadable-" + juce::Time::getCurrentTime().formatted ("%Y%m%d-%H%M%S");
    auto aside = file.getSiblingFile (name);
    for (int n = 2; aside.exists(); ++n)
        aside = file.getSiblingFile (name + "-" + juce::String (n));
    return renameFile (file, aside) ? aside : juce::File();
}
} // namespace

CalibrationJournal::CalibrationJournal (juce::File journalFile, std::shared_ptr<SerialWorker> worker)
    : file (std::move (journalFile)), writer (std::move (worker))
{
}

CalibrationJournal::~CalibrationJournal()
{
    writer->waitUntilIdle();
}

juce::File CalibrationJournal::defaultFile()
{
    return UserDataFolder::get().getChildFile ("calibration-journal.txt");
}

const juce::File& CalibrationJournal::getFile() const
{
    return file;
}

bool CalibrationJournal::open (const Table& stored)
{
    writer->waitUntilIdle();
    return write ("open", stored);
}

void CalibrationJournal::openInBackground (const Table& stored)
{
    writer->post ([this, stored] { write ("open", stored); });
}

bool CalibrationJournal::isWritten()
{
    return writer->isIdle();
}

void CalibrationJournal::waitUntilWritten()
{
    writer->waitUntilIdle();
}

bool CalibrationJournal::settle (const Table& stored)
{
    if (file.getParentDirectory().createDirectory().failed())
        return false;
    writer->post ([this, stored] { write ("settled", stored); });
    return true;
}

bool CalibrationJournal::write (const char* state, const Table& values)
{
    const auto folder = file.getParentDirectory();
    if (folder.createDirectory().failed())
        return false;

    std::string body = heading + "\nstate " + state + "\nvalues";
    for (const auto value : values)
        body += " " + std::to_string (value);
    body += "\n";
    const auto text = body + checkLine (body) + "\n";

    // The temporary file is deleted by its destructor unless renamed first.
    juce::TemporaryFile temporary (file, juce::TemporaryFile::useHiddenFile);
    {
        juce::FileOutputStream out (temporary.getFile());
        if (! out.openedOk() || ! out.write (text.data(), text.size()))
            return false;
        // flush() writes the buffer and fsyncs; the destructor would only write.
        out.flush();
        if (out.getStatus().failed())
            return false;
    }
    if (! renameFile (temporary.getFile(), file))
        return false;
    syncFolder (folder);
    return true;
}

CalibrationJournal::Entry CalibrationJournal::read()
{
    writer->waitUntilIdle();
    Entry entry;
    if (! file.exists())
        return entry;

    const auto problem = readAndParse (file, entry);
    if (problem.isEmpty())
        return entry;

    entry = {};
    entry.state = Entry::State::unreadable;
    entry.setAsideAs = setAside (file);
    entry.problem = problem;
    if (entry.setAsideAs == juce::File())
        entry.problem << " It could not be moved aside.";
    return entry;
}

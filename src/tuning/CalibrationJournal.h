#pragma once

#include "core/SerialWorker.h"
#include "midi/DeviceMessages.h"

#include <juce_core/juce_core.h>

#include <array>
#include <memory>

// Keeps the owner's calibration safe across a crash, a kill or a power loss
// in the middle of a calibration. Before the machine's working table is first
// changed, the stored table read back from it is recorded as an open entry;
// once the machine confirms a stored or restored table the entry is settled.
// An entry found open on the next start means the machine may hold values of
// ours, and the recorded table can be written back.
//
// The file is four lines of plain text: a heading, "state open" or "state
// settled", "values" and the 40 values, and "check" with the CRC-32 of the
// three lines before it. Every write replaces the whole file by renaming a
// synced temporary file over it, so the file is always the old entry or the
// new one. Called from the message thread only; a settle is written on a
// worker thread, so that the end of a calibration does not wait for the disk,
// and everything else waits for it first.
class CalibrationJournal
{
public:
    static constexpr int numValues = DeviceMessages::numCalibratedNotes; // in note order
    using Table = std::array<juce::uint16, numValues>;

    struct Entry
    {
        enum class State { none, settled, open, unreadable };
        State state = State::none;
        Table values {};       // the recorded table (open and settled)
        juce::String problem;  // unreadable: why, in the owner's words
        juce::File setAsideAs; // unreadable: where the file was moved; none when it could not be
    };

    // Background writes run on `worker`, in order with its other jobs: a job
    // ahead of them stands for a slow disk.
    explicit CalibrationJournal (juce::File file, std::shared_ptr<SerialWorker> worker = std::make_shared<SerialWorker>());
    // Finishes a settle still waiting.
    ~CalibrationJournal();
    // UserDataFolder::get() / "calibration-journal.txt"
    static juce::File defaultFile();
    const juce::File& getFile() const;

    // Records the machine's stored table before its working table is changed;
    // the entry stays open until settle(). False when it could not be written
    // (the folder is created as needed).
    bool open (const Table& stored);
    // The same, written in the background (after any settle still waiting),
    // for a caller that can wait for it without holding its thread up.
    void openInBackground (const Table& stored);
    // No write (nor any job ahead of one) is waiting or under way.
    bool isWritten();
    void waitUntilWritten();
    // The machine confirmed a stored or restored table: the entry is settled,
    // with that table, in the background. False when the folder cannot be
    // made; a failure to write after that leaves the entry open, which the
    // next start treats as if the machine might hold values of ours.
    bool settle (const Table& stored);

    // What the file holds; none when there is no file. A file that cannot be
    // trusted (not a regular file, too large, malformed, or failing its check)
    // is renamed to "<name>.unreadable-<yyyymmdd-hhmmss>", with "-2", "-3"...
    // added when that name is taken, and reported as unreadable.
    Entry read();

private:
    bool write (const char* state, const Table& values);

    juce::File file;
    std::shared_ptr<SerialWorker> writer;

    JUCE_DECLARE_NON_COPYABLE (CalibrationJournal)
};

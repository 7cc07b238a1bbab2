#pragma once

#include "tuning/CalibrationJournal.h"
#include "tuning/CalibrationWriter.h"

#include <memory>
#include <optional>

// What the machine stores, as far as the utility knows, and which notes of
// its working table may hold values of ours: the knob step's lowest pitch, a
// run's steps, a write the machine has not confirmed. A commit would make
// those values the machine's calibration, so one is allowed only after a
// confirmed write that covers every such note.
//
// Keeps the journal: before the first value of ours goes out it records the
// stored table, and it settles the entry once the machine has confirmed a
// table and stored it, so that a crash in between can be mended at the next
// start.
//
// Message thread only.
class StoredCalibration
{
public:
    using Values = CalibrationWriter::Values;

    explicit StoredCalibration (std::shared_ptr<CalibrationJournal> journal = {});

    // Start-up: an open entry means the machine may still hold values of ours
    // for any note, and the table recorded there is what it stores.
    CalibrationJournal::Entry readJournal();

    // Values read back from the machine: those of notes that hold only the
    // machine's own values are what it stores; the others are not trusted.
    void takeReadBack (const Values& readBack);

    // Before a value of ours goes out for these notes (bit n = note n). When
    // this begins an entry, it returns once the entry is on disk.
    void aboutToAlter (juce::uint64 notes);
    // The same, but an entry it begins is written in the background: nothing
    // of ours may go out until mayAlterNow() is true and aboutToAlter() has
    // been called, which waits for an entry still unwritten.
    void aboutToAlterSoon (juce::uint64 notes, juce::uint32 nowMs);
    // The entry is on disk, or journalWaitMs have passed since
    // aboutToAlterSoon(): a busy disk's sync can take 100 ms, which the
    // caller's ticks wait out before its own thread waits for the rest.
    bool mayAlterNow (juce::uint32 nowMs);
    static constexpr juce::uint32 journalWaitMs = 300;
    // A write was confirmed: true when every note that may hold ours is one
    // of its notes, so that the working table may now be stored.
    bool mayStore (const Values& confirmed) const;
    // The confirmed values were committed: they are what the machine stores.
    void stored (const Values& confirmed);
    // Confirmed but not committed: notes whose working value is now the
    // stored one hold nothing of ours any more.
    void matched (const Values& confirmed);

    juce::uint64 getAlteredNotes() const { return altered; }
    bool isAltered() const { return altered != 0; }
    std::optional<juce::uint16> storedValue (int note) const;
    // Every stored value known, for the calibrated notes.
    Values getStoredValues() const { return known; }

    static juce::uint64 notesOf (const Values& values);

private:
    std::optional<CalibrationJournal::Table> completeTable() const;
    void markAltered (juce::uint64 notes, bool entryInBackground);
    void settleJournal();

    std::shared_ptr<CalibrationJournal> journal;
    Values known {};
    juce::uint64 altered = 0;
    bool openEntryPending = false;   // begun by aboutToAlterSoon, maybe not on disk yet
    juce::uint32 soonSinceMs = 0;

    JUCE_DECLARE_NON_COPYABLE (StoredCalibration)
};

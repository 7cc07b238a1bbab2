#include "StoredCalibration.h"

#include "midi/DeviceMessages.h"

#include <utility>

namespace
{
constexpr int firstNote = DeviceMessages::firstCalibratedNote;
constexpr int lastNote = DeviceMessages::lastCalibratedNote;

constexpr juce::uint64 bitOf (int note)
{
    return juce::uint64 { 1 } << note;
}
} // namespace

StoredCalibration::StoredCalibration (std::shared_ptr<CalibrationJournal> j) : journal (std::move (j)) {}

CalibrationJournal::Entry StoredCalibration::readJournal()
{
    if (journal == nullptr)
        return {};
    auto entry = journal->read();
    if (entry.state == CalibrationJournal::Entry::State::open)
    {
        for (int note = firstNote; note <= lastNote; ++note)
        {
            known[(size_t) note] = entry.values[(size_t) (note - firstNote)];
            altered |= bitOf (note);
        }
    }
    return entry;
}

void StoredCalibration::takeReadBack (const Values& readBack)
{
    for (int note = firstNote; note <= lastNote; ++note)
        if (readBack[(size_t) note].has_value() && (altered & bitOf (note)) == 0)
            known[(size_t) note] = readBack[(size_t) note];
}

void StoredCalibration::aboutToAlter (juce::uint64 notes)
{
    if (std::exchange (openEntryPending, false))
        journal->waitUntilWritten();
    markAltered (notes, false);
}

void StoredCalibration::aboutToAlterSoon (juce::uint64 notes, juce::uint32 nowMs)
{
    soonSinceMs = nowMs;
    markAltered (notes, true);
}

void StoredCalibration::markAltered (juce::uint64 notes, bool entryInBackground)
{
    const bool wasClean = altered == 0;
    altered |= notes;
    if (! wasClean || altered == 0 || journal == nullptr)
        return;
    // Without the whole stored table there is nothing a later start could
    // write back; the machine's own stored table stays what a power cycle restores.
    const auto table = completeTable();
    if (! table.has_value())
        return;
    // A folder that cannot be written is told by the history.
    if (entryInBackground)
        journal->openInBackground (*table);
    else
        journal->open (*table);
    openEntryPending = entryInBackground;
}

bool StoredCalibration::mayAlterNow (juce::uint32 nowMs)
{
    if (openEntryPending && journal->isWritten())
        openEntryPending = false;
    return ! openEntryPending || nowMs - soonSinceMs >= journalWaitMs;
}

bool StoredCalibration::mayStore (const Values& confirmed) const
{
    return (altered & ~notesOf (confirmed)) == 0;
}

void StoredCalibration::stored (const Values& confirmed)
{
    for (int note = firstNote; note <= lastNote; ++note)
        if (confirmed[(size_t) note].has_value())
            known[(size_t) note] = confirmed[(size_t) note];
    altered = 0;
    settleJournal();
}

void StoredCalibration::settleJournal()
{
    if (journal == nullptr)
        return;
    if (const auto table = completeTable())
        journal->settle (*table);
}

void StoredCalibration::matched (const Values& confirmed)
{
    for (int note = firstNote; note <= lastNote; ++note)
        if (confirmed[(size_t) note].has_value() && confirmed[(size_t) note] == known[(size_t) note])
            altered &= ~bitOf (note);
    if (altered == 0)
        settleJournal();
}

std::optional<juce::uint16> StoredCalibration::storedValue (int note) const
{
    return juce::isPositiveAndBelow (note, (int) known.size()) ? known[(size_t) note] : std::nullopt;
}

juce::uint64 StoredCalibration::notesOf (const Values& values)
{
    juce::uint64 notes = 0;
    for (int note = 0; note < (int) values.size(); ++note)
        if (values[(size_t) note].has_value())
            notes |= bitOf (note);
    return notes;
}

std::optional<CalibrationJournal::Table> StoredCalibration::completeTable() const
{
    CalibrationJournal::Table table {};
    for (int note = firstNote; note <= lastNote; ++note)
    {
        if (! known[(size_t) note].has_value())
            return std::nullopt;
        table[(size_t) (note - firstNote)] = *known[(size_t) note];
    }
    return table;
}

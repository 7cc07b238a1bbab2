#include "CalibrationWriteMessage.h"

namespace
{
juce::String theseNotes (const juce::Array<int>& notes)
{
    if (notes.size() == TuneKestruneEngine::numNotes)
        return "any of its notes";
    return juce::String (notes.size() == 1 ? "this note: " : "these notes: ") + CalibrationWriteMessage::noteList (notes);
}

// Where the machine stands after a write that was not stored.
juce::String machineState (const TuneKestruneEngine::CalibrationWriteOutcome& outcome)
{
    if (outcome.machineAsFound)
        return "Nothing was stored: the Kestrune keeps the calibration it had stored.";
    if (outcome.notesLeftChanged.isEmpty())
        return "Nothing was stored.";
    return "Nothing was stored, but the Kestrune may still sound " + theseNotes (outcome.notesLeftChanged)
           + " with values that are not its stored ones. Switching the Kestrune off and on brings its stored "
             "calibration back.";
}
} // namespace

juce::String CalibrationWriteMessage::noteList (const juce::Array<int>& notes)
{
    juce::StringArray names;
    for (auto note : notes)
        names.add (juce::MidiMessage::getMidiNoteName (note, true, true, 3) + " (" + juce::String (note) + ")");
    return names.joinIntoString (", ");
}

juce::String CalibrationWriteMessage::describe (const TuneKestruneEngine::CalibrationWriteOutcome& outcome)
{
    using Kind = TuneKestruneEngine::CalibrationWriteKind;

    if (outcome.kind == Kind::restore)
        return "The Kestrune did not confirm its stored calibration being written back. " + machineState (outcome)
               + " Verify MIDI Settings.";

    if (outcome.problem.isNotEmpty())
        return "The values the tuning run found were not written: " + outcome.problem + " " + machineState (outcome)
               + " Run the calibration again.";

    if (! outcome.unconfirmedNotes.isEmpty())
        return "The Kestrune did not confirm the values written for " + theseNotes (outcome.unconfirmedNotes) + ". "
               + machineState (outcome) + " Verify MIDI Settings and try again.";

    return "The Kestrune confirmed the values, but they could not be stored. " + machineState (outcome)
           + " Verify MIDI Settings and try again.";
}

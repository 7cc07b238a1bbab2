#include "CalibrationWriteMessage.h"

juce::String CalibrationWriteMessage::noteList (const juce::Array<int>& notes)
{
    juce::StringArray names;
    for (auto note : notes)
        names.add (juce::MidiMessage::getMidiNoteName (note, true, true, 3) + " (" + juce::String (note) + ")");
    return names.joinIntoString (", ");
}

juce::String CalibrationWriteMessage::describe (const TuneKestruneEngine::CalibrationWriteOutcome& outcome)
{
    if (! outcome.unconfirmedNotes.isEmpty())
        return "The Kestrune did not confirm the values written for "
               + juce::String (outcome.unconfirmedNotes.size() == 1 ? "this note: " : "these notes: ")
               + noteList (outcome.unconfirmedNotes)
               + ". Nothing was stored: the Kestrune keeps the calibration it had stored. Verify MIDI Settings and "
                 "try again.";

    if (outcome.kind == TuneKestruneEngine::CalibrationWriteKind::undo)
        return "The values read back from the Kestrune were written to it again, but not stored: the value of the "
               "reference note (MIDI note 24) was not read back, and storing now would keep the value the "
               "calibration gave it. The Kestrune keeps its stored calibration until it is switched off; run a "
               "calibration again or restore the default calibration.";

    return "The Kestrune confirmed the values, but they could not be stored. Verify MIDI Settings and try again.";
}

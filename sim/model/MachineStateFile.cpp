#include "MachineStateFile.h"

#include "VirtualKestrune.h"

#include <set>

std::optional<MachineState> MachineStateFile::load (const juce::File& file, juce::String& errorMessage)
{
    if (! file.exists())
        return MachineState::factory();

    if (file.isDirectory())
    {
        errorMessage = file.getFullPathName() + " is a directory";
        return std::nullopt;
    }

    juce::String text;
    if (! file.hasReadAccess() || (text = file.loadFileAsString()).isEmpty())
    {
        errorMessage = "cannot read " + file.getFullPathName() + " or it is empty";
        return std::nullopt;
    }

    auto state = parse (text, errorMessage);
    if (! state.has_value())
        errorMessage = file.getFullPathName() + ": " + errorMessage;
    return state;
}

std::optional<MachineState> MachineStateFile::parse (const juce::String& text, juce::String& errorMessage)
{
    MachineState state;
    std::set<int> notesSeen;
    int lineNumber = 0;

    for (auto line : juce::StringArray::fromLines (text))
    {
        ++lineNumber;
        line = line.trim();
        if (line.isEmpty() || line.startsWithChar ('#'))
            continue;

        auto tokens = juce::StringArray::fromTokens (line, " \t", {});
        tokens.removeEmptyStrings();
        const auto where = "line " + juce::String (lineNumber) + ": ";

        if (tokens[0] == "note" && tokens.size() == 3 && tokens[1].containsOnly ("0123456789")
            && tokens[2].containsOnly ("0123456789") && tokens[1].length() <= 3 && tokens[2].length() <= 5)
        {
            const auto note = tokens[1].getIntValue();
            const auto value = tokens[2].getIntValue();
            if (! FactoryCalibration::isCalibratedNote (note) || value > 0xFFFF)
            {
                errorMessage = where + "note or value out of range";
                return std::nullopt;
            }
            if (! notesSeen.insert (note).second)
            {
                errorMessage = where + "note " + juce::String (note) + " appears twice";
                return std::nullopt;
            }
            state.calibration[(size_t) (note - FactoryCalibration::firstNote)] = (juce::uint16) value;
        }
        else if (tokens[0] == "firmware" && tokens.size() == 2)
        {
            std::array<juce::uint8, 4> digits {};
            if (! VirtualKestrune::versionDigits (tokens[1], digits))
            {
                errorMessage = where + "not a firmware version: " + tokens[1];
                return std::nullopt;
            }
            state.installedFirmwareVersion = tokens[1];
        }
        else
        {
            errorMessage = where + "not understood: " + line;
            return std::nullopt;
        }
    }

    if ((int) notesSeen.size() != FactoryCalibration::numNotes)
    {
        errorMessage = "holds " + juce::String ((int) notesSeen.size()) + " of the "
                       + juce::String (FactoryCalibration::numNotes) + " notes";
        return std::nullopt;
    }
    return state;
}

juce::String MachineStateFile::format (const MachineState& state)
{
    juce::String text = "# Kestrune virtual machine: stored state\n";
    if (state.installedFirmwareVersion.isNotEmpty())
        text << "firmware " << state.installedFirmwareVersion << "\n";
    for (int note = FactoryCalibration::firstNote; note <= FactoryCalibration::lastNote; ++note)
        text << "note " << note << " " << (int) state.valueForNote (note) << "\n";
    return text;
}

bool MachineStateFile::save (const juce::File& file, const MachineState& state)
{
    juce::TemporaryFile temporary (file);
    if (! temporary.getFile().replaceWithText (format (state), false, false, "\n"))
        return false;
    return temporary.overwriteTargetFileWithTemporary();
}

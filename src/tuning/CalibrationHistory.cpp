#include "CalibrationHistory.h"

#include "core/UserDataFolder.h"
#include "tuning/CalibrationReport.h"

#include <array>

juce::String CalibrationHistory::storedAfter (const juce::String& algorithmName)
{
    return "stored after " + algorithmName;
}

CalibrationHistory::CalibrationHistory (juce::File historyFolder) : folder (std::move (historyFolder)) {}

juce::File CalibrationHistory::defaultFolder()
{
    return UserDataFolder::get().getChildFile ("history");
}

juce::File CalibrationHistory::save (const CalibrationTableRule::Values& values, const juce::String& what,
                                     const juce::Time& when)
{
    if (! folder.createDirectory())
        return {};
    // Milliseconds too: two tables within a second keep their order.
    const auto stamp = when.formatted ("%Y-%m-%d %H-%M-%S.") + juce::String (when.getMilliseconds()).paddedLeft ('0', 3);
    auto file = folder.getChildFile (stamp + " " + what + ".txt");
    for (int n = 2; file.exists(); ++n)
        file = folder.getChildFile (stamp + " " + what + " " + juce::String (n) + ".txt");

    std::array<TuningResult, DeviceMessages::lastCalibratedNote + 1> results {};
    for (int i = 0; i < CalibrationTableRule::numNotes; ++i)
        results[(size_t) (DeviceMessages::firstCalibratedNote + i)].value = values[(size_t) i];
    if (! CalibrationReport::append (file, results.data(), (int) results.size(), when))
    {
        file.deleteFile();
        return {};
    }
    return file;
}

#include "UserDataFolder.h"

juce::File UserDataFolder::get()
{
#if JUCE_LINUX
    // A relative XDG_DATA_HOME is invalid and must be ignored; File::isAbsolutePath
    // would also take "~/...", which the shell, not the variable, expands.
    const auto dataHome = juce::SystemStats::getEnvironmentVariable ("XDG_DATA_HOME", {});
    const auto base = dataHome.startsWithChar ('/')
                          ? juce::File (dataHome)
                          : juce::File::getSpecialLocation (juce::File::userHomeDirectory).getChildFile (".local/share");
    return base.getChildFile ("kestrune-tuning-utility");
#else
    return juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
        .getChildFile ("Kestrune Tuning Utility");
#endif
}

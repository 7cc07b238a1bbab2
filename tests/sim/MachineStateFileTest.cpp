#include "sim/model/MachineStateFile.h"

#include <gtest/gtest.h>

namespace
{
MachineState changedState()
{
    auto state = MachineState::factory();
    state.calibration[0] = 65000;
    state.calibration[39] = 4000;
    state.installedFirmwareVersion = "1.05";
    return state;
}
} // namespace

TEST (SimStateFile, SavedStateLoadsBackUnchanged)
{
    juce::TemporaryFile temp (".state");
    const auto file = temp.getFile();
    ASSERT_TRUE (MachineStateFile::save (file, changedState()));

    juce::String error;
    const auto loaded = MachineStateFile::load (file, error);
    ASSERT_TRUE (loaded.has_value()) << error;
    EXPECT_EQ (*loaded, changedState());

    const auto text = file.loadFileAsString();
    EXPECT_TRUE (text.contains ("\nfirmware 1.05\n"));
    EXPECT_TRUE (text.contains ("\nnote 24 65000\n"));
    EXPECT_TRUE (text.contains ("\nnote 63 4000\n"));
}

TEST (SimStateFile, AMissingFileIsTheFactoryState)
{
    juce::String error;
    const auto loaded = MachineStateFile::load (juce::File::getSpecialLocation (juce::File::tempDirectory)
                                                    .getChildFile ("no-such-kestrune-state-file"),
                                                error);
    ASSERT_TRUE (loaded.has_value());
    EXPECT_EQ (*loaded, MachineState::factory());
    EXPECT_TRUE (loaded->installedFirmwareVersion.isEmpty());
}

TEST (SimStateFile, AnythingButAWholeValidStateIsRefusedWithAReason)
{
    const auto valid = MachineStateFile::format (MachineState::factory());
    const std::pair<juce::String, juce::String> cases[] = {
        { valid.replace ("note 40 51711\n", ""), "holds 39 of the 40 notes" },
        { valid + "note 40 1\n", "appears twice" },
        { valid.replace ("note 40 51711", "note 40 65536"), "out of range" },
        { valid.replace ("note 40 51711", "note 64 1"), "out of range" },
        { valid.replace ("note 40 51711", "note 40 -5"), "not understood" },
        { valid.replace ("note 40 51711", "note 40 5 6"), "not understood" },
        { valid + "firmware one\n", "not a firmware version" },
        { valid + "volume 11\n", "not understood" },
        { "", "holds 0 of the 40 notes" },
    };
    for (const auto& [text, reason] : cases)
    {
        juce::String error;
        EXPECT_FALSE (MachineStateFile::parse (text, error).has_value()) << reason;
        EXPECT_TRUE (error.contains (reason)) << error;
    }

    juce::TemporaryFile temp (".state");
    temp.getFile().replaceWithText ("garbage\n");
    juce::String error;
    EXPECT_FALSE (MachineStateFile::load (temp.getFile(), error).has_value());
    EXPECT_TRUE (error.contains (temp.getFile().getFullPathName()));
}

TEST (SimStateFile, CommentsBlankLinesAndSpacingAreAllowed)
{
    auto text = "\n# my notes\n" + MachineStateFile::format (MachineState::factory()).replace ("note 30 ", "  note\t30   ");
    juce::String error;
    const auto loaded = MachineStateFile::parse (text, error);
    ASSERT_TRUE (loaded.has_value()) << error;
    EXPECT_EQ (*loaded, MachineState::factory());
}

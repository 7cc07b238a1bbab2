#include "sim/model/MachineStateFile.h"

#include <gtest/gtest.h>

TEST (SimStateFile, AStateLoadsBackUnchangedAndAMissingFileIsTheFactoryState)
{
    auto state = MachineState::factory();
    state.calibration[0] = 65000;
    state.installedFirmwareVersion = "1.05";
    juce::TemporaryFile temp (".state");
    ASSERT_TRUE (MachineStateFile::save (temp.getFile(), state));
    juce::String error;
    EXPECT_EQ (MachineStateFile::load (temp.getFile(), error), state) << error;
    EXPECT_TRUE (temp.getFile().loadFileAsString().contains ("\nnote 24 65000\n"));

    const auto text = "\n# my notes\n" + MachineStateFile::format (MachineState::factory()).replace ("note 30 ", "  note\t30   ");
    EXPECT_EQ (MachineStateFile::parse (text, error), MachineState::factory()) << error;
    EXPECT_EQ (MachineStateFile::load (temp.getFile().getSiblingFile ("no-such-kestrune-state"), error), MachineState::factory());
}

TEST (SimStateFile, AnythingButAWholeValidStateIsRefusedWithAReason)
{
    const auto valid = MachineStateFile::format (MachineState::factory());
    const std::pair<juce::String, const char*> cases[] = {
        { valid.replace ("note 40 51711\n", ""), "holds 39 of the 40 notes" },
        { valid + "note 40 1\n", "appears twice" },
        { valid.replace ("note 40 51711", "note 40 65536"), "out of range" },
        { valid.replace ("note 40 51711", "note 64 1"), "out of range" },
        { valid.replace ("note 40 51711", "note 40 -5"), "not understood" },
        { valid.replace ("note 40 51711", "note 40 5 6"), "not understood" },
        { valid + "firmware one\n", "not a firmware version" },
        { valid + "volume 11\n", "not understood" },
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

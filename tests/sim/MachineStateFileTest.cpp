#include "sim/model/MachineStateFile.h"

#include <gtest/gtest.h>

TEST (SimStateFile, AStateLoadsBackUnchangedAndAnythingButAWholeValidOneIsRefusedWithAReason)
{
    auto state = MachineState::factory();
    state.calibration[0] = 65000;
    state.installedFirmwareVersion = "1.05";
    juce::TemporaryFile temp (".state");
    ASSERT_TRUE (MachineStateFile::save (temp.getFile(), state));
    juce::String error;
    EXPECT_EQ (MachineStateFile::load (temp.getFile(), error), state) << error;
    EXPECT_EQ (MachineStateFile::load (temp.getFile().getSiblingFile ("no-such-kestrune-state"), error), MachineState::factory());
    const auto valid = MachineStateFile::format (MachineState::factory());
    EXPECT_EQ (MachineStateFile::parse ("\n# my notes\n" + valid.replace ("note 30 ", "  note\t30   "), error), MachineState::factory());

    for (const auto& [text, reason] : { std::pair { valid.replace ("note 40 51711\n", ""), "holds 39 of the 40 notes" },
                                        { valid + "note 40 1\n", "appears twice" },
                                        { valid.replace ("note 40 51711", "note 40 65536"), "out of range" },
                                        { valid.replace ("note 40 51711", "note 64 1"), "out of range" },
                                        { valid.replace ("note 40 51711", "note 40 5 6"), "not understood" },
                                        { valid + "firmware one\n", "not a firmware version" } })
    {
        EXPECT_FALSE (MachineStateFile::parse (text, error).has_value()) << reason;
        EXPECT_TRUE (error.contains (reason)) << error;
    }
    temp.getFile().replaceWithText ("garbage\n");
    EXPECT_FALSE (MachineStateFile::load (temp.getFile(), error).has_value());
    EXPECT_TRUE (error.contains (temp.getFile().getFullPathName()));
}

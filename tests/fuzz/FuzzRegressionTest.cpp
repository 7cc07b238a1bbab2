// Every fuzz target over its committed seeds and the inputs that once failed.

#include "FuzzTargets.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <stdexcept>

TEST (FuzzReplay, EveryCommittedInputPasses)
{
    fuzzcheck::failureHandler() = [] (const std::string& what) { throw std::runtime_error (what); };
    for (const auto& target : fuzzTargets)
    {
        juce::Array<juce::File> files;
        for (const auto* folder : { "corpus", "regressions" })
            files.addArray (juce::File (KESTRUNE_FUZZ_DATA_DIR).getChildFile (folder).getChildFile (target.name)
                                .findChildFiles (juce::File::findFiles, false));
        EXPECT_FALSE (files.isEmpty()) << "no committed inputs for " << target.name;
        for (const auto& file : files)
        {
            juce::MemoryBlock bytes;
            EXPECT_TRUE (file.loadFileAsData (bytes));
            try
            {
                target.entry (static_cast<const std::uint8_t*> (bytes.getData()), bytes.getSize());
            }
            catch (const std::runtime_error& failure)
            {
                ADD_FAILURE() << file.getFullPathName() << ": " << failure.what();
            }
        }
    }
    fuzzcheck::failureHandler() = nullptr;
}

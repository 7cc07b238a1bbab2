// Runs every fuzz target over its committed seed corpus and the inputs that
// once made it fail (tests/fuzz/corpus/<target>, tests/fuzz/regressions/<target>).

#include "FuzzCheck.h"
#include "FuzzTargets.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <stdexcept>

namespace
{
struct CheckFailed : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

class FuzzReplay : public ::testing::TestWithParam<FuzzTarget>
{
};
} // namespace

void PrintTo (const FuzzTarget& target, std::ostream* out)
{
    *out << target.name;
}

namespace
{

juce::Array<juce::File> inputsOf (const char* target)
{
    juce::Array<juce::File> files;
    for (const auto* folder : { "corpus", "regressions" })
        files.addArray (juce::File (KESTRUNE_FUZZ_DATA_DIR).getChildFile (folder).getChildFile (target)
                            .findChildFiles (juce::File::findFiles, false));
    return files;
}
} // namespace

TEST_P (FuzzReplay, EveryCommittedInputPasses)
{
    const auto target = GetParam();
    const auto files = inputsOf (target.name);
    ASSERT_FALSE (files.isEmpty()) << "no committed inputs for " << target.name;

    const auto previous = fuzzcheck::setFailureHandler ([] (const std::string& what) { throw CheckFailed (what); });
    for (const auto& file : files)
    {
        SCOPED_TRACE (file.getFullPathName().toStdString());
        juce::MemoryBlock bytes;
        ASSERT_TRUE (file.loadFileAsData (bytes));
        try
        {
            target.entry (static_cast<const std::uint8_t*> (bytes.getData()), bytes.getSize());
        }
        catch (const CheckFailed& failure)
        {
            ADD_FAILURE() << failure.what();
        }
    }
    fuzzcheck::setFailureHandler (previous);
}

INSTANTIATE_TEST_SUITE_P (Targets, FuzzReplay, ::testing::ValuesIn (fuzzTargets),
                          [] (const auto& info) { return std::string (info.param.name); });

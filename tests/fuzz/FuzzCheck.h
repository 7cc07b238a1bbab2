#pragma once

#include <functional>
#include <string>

// What a fuzz target asserts. A failed check reports what did not hold and
// then aborts, which libFuzzer records as a crash with the input that caused
// it; the unit test that replays committed inputs installs a handler that
// turns the failure into a test failure instead.
namespace fuzzcheck
{
using FailureHandler = std::function<void (const std::string& what)>;

// The handler must not return (it throws or aborts); returns the previous one.
FailureHandler setFailureHandler (FailureHandler handler);

[[noreturn]] void fail (const std::string& what);

inline void require (bool condition, const char* what)
{
    if (! condition)
        fail (what);
}
} // namespace fuzzcheck

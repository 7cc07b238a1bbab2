#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

// What a fuzz target asserts. A failed check aborts, which libFuzzer records
// as a crash with its input; the unit tests' replay installs a handler that
// throws instead (a handler must not return).
namespace fuzzcheck
{
inline std::function<void (const std::string&)>& failureHandler()
{
    static std::function<void (const std::string&)> handler;
    return handler;
}

inline void require (bool condition, const char* what)
{
    if (condition)
        return;
    if (failureHandler())
        failureHandler() (what);
    std::fprintf (stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
} // namespace fuzzcheck

#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck
{
namespace
{
FailureHandler& handler()
{
    static FailureHandler current;
    return current;
}
} // namespace

FailureHandler setFailureHandler (FailureHandler newHandler)
{
    auto previous = std::move (handler());
    handler() = std::move (newHandler);
    return previous;
}

void fail (const std::string& what)
{
    if (handler())
        handler() (what);
    std::fprintf (stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}
} // namespace fuzzcheck

#pragma once

#include <cstddef>

// Counts the global operator new calls made on the calling thread while a
// ScopedCount is alive. The replacement operators live in AllocationCounter.cpp
// and serve the whole test binary; outside a count they only forward to malloc.
class AllocationCounter
{
public:
    class ScopedCount
    {
    public:
        ScopedCount();
        ~ScopedCount();
        std::size_t getCount() const;

        ScopedCount (const ScopedCount&) = delete;
        ScopedCount& operator= (const ScopedCount&) = delete;
    };
};

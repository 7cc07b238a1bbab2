#include "AllocationCounter.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#ifdef _WIN32
 #include <malloc.h>
#endif

namespace
{
// Plain thread_local integers: no constructor runs inside operator new.
thread_local bool counting = false;
thread_local std::size_t allocations = 0;

void* allocate (std::size_t size, std::align_val_t alignment = std::align_val_t (0)) noexcept
{
    allocations += counting ? 1 : 0;
    const auto align = std::max (static_cast<std::size_t> (alignment), sizeof (void*));
#ifdef _WIN32
    return _aligned_malloc (std::max (size, std::size_t (1)), align);
#else
    void* p = nullptr;
    return posix_memalign (&p, align, std::max (size, std::size_t (1))) == 0 ? p : nullptr;
#endif
}

// Windows frees what _aligned_malloc gave with its own function.
void release (void* p) noexcept
{
#ifdef _WIN32
    _aligned_free (p);
#else
    std::free (p);
#endif
}

void* allocateOrThrow (std::size_t size, std::align_val_t alignment = std::align_val_t (0))
{
    if (auto* p = allocate (size, alignment))
        return p;
    throw std::bad_alloc();
}
} // namespace

AllocationCounter::ScopedCount::ScopedCount() { allocations = 0; counting = true; }
AllocationCounter::ScopedCount::~ScopedCount() { counting = false; }
std::size_t AllocationCounter::ScopedCount::getCount() const { return allocations; }

// Every form is replaced, so that each new is paired with the matching free.
void* operator new (std::size_t size) { return allocateOrThrow (size); }
void* operator new[] (std::size_t size) { return allocateOrThrow (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept { return allocate (size); }
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept { return allocate (size); }
void* operator new (std::size_t size, std::align_val_t a) { return allocateOrThrow (size, a); }
void* operator new[] (std::size_t size, std::align_val_t a) { return allocateOrThrow (size, a); }
void* operator new (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return allocate (size, a); }
void* operator new[] (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return allocate (size, a); }

void operator delete (void* p) noexcept { release (p); }
void operator delete[] (void* p) noexcept { release (p); }
void operator delete (void* p, std::size_t) noexcept { release (p); }
void operator delete[] (void* p, std::size_t) noexcept { release (p); }
void operator delete (void* p, const std::nothrow_t&) noexcept { release (p); }
void operator delete[] (void* p, const std::nothrow_t&) noexcept { release (p); }
void operator delete (void* p, std::align_val_t) noexcept { release (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { release (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { release (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { release (p); }
void operator delete (void* p, std::align_val_t, const std::nothrow_t&) noexcept { release (p); }
void operator delete[] (void* p, std::align_val_t, const std::nothrow_t&) noexcept { release (p); }

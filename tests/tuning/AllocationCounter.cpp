#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace
{
// Plain thread_local integers: no constructor runs inside operator new.
thread_local bool counting = false;
thread_local std::size_t allocations = 0;

void* allocate (std::size_t size)
{
    if (counting)
        ++allocations;
    return std::malloc (size == 0 ? 1 : size);
}

void* allocateAligned (std::size_t size, std::align_val_t alignment)
{
    if (counting)
        ++allocations;
    const auto align = static_cast<std::size_t> (alignment);
    void* p = nullptr;
    if (posix_memalign (&p, align < sizeof (void*) ? sizeof (void*) : align, size == 0 ? 1 : size) != 0)
        return nullptr;
    return p;
}

void* allocateOrThrow (std::size_t size)
{
    if (auto* p = allocate (size))
        return p;
    throw std::bad_alloc();
}

void* allocateAlignedOrThrow (std::size_t size, std::align_val_t alignment)
{
    if (auto* p = allocateAligned (size, alignment))
        return p;
    throw std::bad_alloc();
}
} // namespace

AllocationCounter::ScopedCount::ScopedCount()
{
    allocations = 0;
    counting = true;
}

AllocationCounter::ScopedCount::~ScopedCount()
{
    counting = false;
}

std::size_t AllocationCounter::ScopedCount::getCount() const
{
    return allocations;
}

// Every form is replaced, so that each new is paired with the matching free.
void* operator new (std::size_t size) { return allocateOrThrow (size); }
void* operator new[] (std::size_t size) { return allocateOrThrow (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept { return allocate (size); }
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept { return allocate (size); }
void* operator new (std::size_t size, std::align_val_t a) { return allocateAlignedOrThrow (size, a); }
void* operator new[] (std::size_t size, std::align_val_t a) { return allocateAlignedOrThrow (size, a); }
void* operator new (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return allocateAligned (size, a); }
void* operator new[] (std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return allocateAligned (size, a); }

void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }
void operator delete (void* p, const std::nothrow_t&) noexcept { std::free (p); }
void operator delete[] (void* p, const std::nothrow_t&) noexcept { std::free (p); }
void operator delete (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
void operator delete (void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free (p); }
void operator delete[] (void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free (p); }

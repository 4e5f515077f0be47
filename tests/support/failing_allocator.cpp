#include "support/failing_allocator.h"

#include <cstdlib>
#include <new>

// All plain allocation functions are replaced together and go to malloc and
// free, so that every new/delete pair of the program meets the same
// allocator; only the non-throwing forms, which the library uses, count.

namespace {

long g_count = 0;
long g_failAt = 0;

void* Allocate(std::size_t size)
{
    return std::malloc(size == 0 ? 1 : size);
}

void* AllocateCounted(std::size_t size)
{
    ++g_count;
    if (g_failAt != 0 && g_count == g_failAt)
        return nullptr;
    return Allocate(size);
}

void* AllocateOrThrow(std::size_t size)
{
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}

}  // namespace

namespace pyrrow::test {

void FailNthAllocation(long n)
{
    g_count = 0;
    g_failAt = n;
}

long AllocationCount()
{
    return g_count;
}

}  // namespace pyrrow::test

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateCounted(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateCounted(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

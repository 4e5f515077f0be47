#include "support/failing_allocator.h"

#include <cstdlib>
#include <new>

// All plain allocation functions are replaced together and go to malloc and
// free, so that every new/delete pair of the program meets the same
// allocator. The non-throwing forms always count while a failure is set;
// the throwing ones only when asked to.

namespace {

long g_count = 0;
long g_failAt = 0;
bool g_countThrowing = false;
std::size_t g_actionSize = 0;
void (*g_action)() = nullptr;

void* Allocate(std::size_t size)
{
    if (g_action != nullptr && size >= g_actionSize) {
        void (*action)() = g_action;
        g_action = nullptr;
        action();
    }
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
    void* p = g_countThrowing ? AllocateCounted(size) : Allocate(size);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

}  // namespace

namespace pyrrow::test {

void FailNthAllocation(long n, Counted counted)
{
    g_count = 0;
    g_failAt = n;
    g_countThrowing = n != 0 && counted == Counted::All;
}

long AllocationCount()
{
    return g_count;
}

void BeforeAllocationOfAtLeast(std::size_t size, void (*action)())
{
    g_actionSize = size;
    g_action = action;
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

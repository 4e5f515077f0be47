// Makes the n-th allocation of the test program fail, so that every
// out-of-memory path of the library can be walked in turn: a non-throwing
// allocation gives null, a throwing one throws std::bad_alloc. Linking
// failing_allocator.cpp replaces the global allocation functions.
#pragma once

#include <cstddef>

namespace pyrrow::test {

// Which allocations are counted, and may fail.
enum class Counted {
    NonThrowing,  // only new (std::nothrow): the library's own allocations
    All,          // every new, the throwing ones (std::string and the like) too
};

// From now on, the n-th counted allocation (counting from 1) fails; 0 lets
// all succeed. Resets the count.
void FailNthAllocation(long n, Counted counted = Counted::NonThrowing);
// Counted allocations since the last FailNthAllocation.
long AllocationCount();
// Once, right before the next allocation of at least size bytes, calls
// action (its own allocations are plain ones): a test changes the world at
// a known point of an operation.
void BeforeAllocationOfAtLeast(std::size_t size, void (*action)());

}  // namespace pyrrow::test

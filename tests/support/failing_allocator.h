// Makes the n-th non-throwing allocation of the test program fail, so that
// every out-of-memory path of the library can be walked in turn. Linking
// failing_allocator.cpp replaces the global allocation functions.
#pragma once

namespace pyrrow::test {

// From now on, the n-th non-throwing allocation (counting from 1) fails;
// 0 lets all succeed. Resets the count.
void FailNthAllocation(long n);
// Non-throwing allocations since the last FailNthAllocation.
long AllocationCount();

}  // namespace pyrrow::test

#pragma once
// The largest single allocation since the last reset: a damaged file must not make a reader
// allocate what its header claims instead of what the file holds. This replaces the global
// operator new, so include it in one source file of a test program only.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace testutil {
inline std::atomic<std::size_t> largestAllocation{0};

inline void *countedAllocation(std::size_t n) noexcept
{
    std::size_t seen = largestAllocation.load(std::memory_order_relaxed);
    while (n > seen && !largestAllocation.compare_exchange_weak(seen, n, std::memory_order_relaxed)) {
    }
    return std::malloc(n ? n : 1);
}
} // namespace testutil

// Every form that the standard library pairs with the plain deletes below (the nothrow forms
// too: std::stable_sort takes its buffer with them), so that each block is freed as it was got.
void *operator new(std::size_t n)
{
    if (void *p = testutil::countedAllocation(n))
        return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept { return testutil::countedAllocation(n); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return testutil::countedAllocation(n); }
// Not inlined: the compiler would otherwise see free() meet memory from operator new.
[[gnu::noinline]] void operator delete(void *p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void *p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void *p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }

namespace testutil {
// What a reader may allocate at once for files that hold `held` bytes: a few times that (a
// string object per field name, text decoded to UTF-8 at up to two bytes per stored byte),
// never what a damaged header claims.
inline std::size_t allocationBound(std::size_t held) { return 4 * held + 4096; }

// The largest single allocation `work` makes.
template <typename Work>
std::size_t largestAllocationOf(Work work)
{
    largestAllocation = 0;
    work();
    return largestAllocation;
}
} // namespace testutil

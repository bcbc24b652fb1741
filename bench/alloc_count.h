// Counts every heap allocation of a benchmark program: include it in exactly one source file
// of the program (it replaces the global operator new and delete).
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace bench_alloc {
inline std::atomic<unsigned long long> allocations{0};
}

// GCC cannot see that these replace the global pair and warns that malloc'd memory reaches
// operator delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    bench_alloc::allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

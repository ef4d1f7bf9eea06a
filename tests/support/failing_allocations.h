// Allocations made to fail on purpose, to drive what a program does when
// memory runs out without running out of it. The global operators new and
// delete of the test program are replaced: ONE file of the program defines
// FAILING_ALLOCATIONS_OPERATORS before it includes this header. They count
// the allocations of the thread that armed them and raise std::bad_alloc at
// the chosen one, once; every other allocation is the C library's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace failing_allocations {

// Allocations to go before the one that fails; -1: none fails.
inline thread_local int64_t countdown = -1;
inline thread_local bool failed = false;

inline void* Allocate(std::size_t n, std::size_t align)
{
    if (countdown == 0) {
        countdown = -1;
        failed = true;
        throw std::bad_alloc();
    }
    if (countdown > 0) --countdown;
    if (n == 0) n = 1;
    void* p =
        align > alignof(std::max_align_t) ? std::aligned_alloc(align, (n + align - 1) / align * align) : std::malloc(n);
    if (!p) throw std::bad_alloc();
    return p;
}

// The C library's free, out of line: the compiler is not to take the
// operators delete below for a free of what the operators new returned.
[[gnu::noinline]] inline void Release(void* p) noexcept { std::free(p); }

template <class F>
void* AllocateOrNull(F allocate) noexcept
{
    try {
        return allocate();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace failing_allocations

// While it lives, allocation number `n` (0: the next one) of this thread
// fails; Failed tells whether it came to that.
class TFailingAllocation {
public:
    explicit TFailingAllocation(int64_t n)
    {
        failing_allocations::failed = false;
        failing_allocations::countdown = n;
    }
    ~TFailingAllocation() { failing_allocations::countdown = -1; }
    TFailingAllocation(const TFailingAllocation&) = delete;
    TFailingAllocation& operator=(const TFailingAllocation&) = delete;
    static bool Failed() { return failing_allocations::failed; }
};

#ifdef FAILING_ALLOCATIONS_OPERATORS
void* operator new(std::size_t n) { return failing_allocations::Allocate(n, 0); }
void* operator new(std::size_t n, std::align_val_t align) { return failing_allocations::Allocate(n, size_t(align)); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    return failing_allocations::AllocateOrNull([n] { return failing_allocations::Allocate(n, 0); });
}
void* operator new(std::size_t n, std::align_val_t align, const std::nothrow_t&) noexcept
{
    return failing_allocations::AllocateOrNull([n, align] { return failing_allocations::Allocate(n, size_t(align)); });
}
void operator delete(void* p) noexcept { failing_allocations::Release(p); }
void operator delete(void* p, std::size_t) noexcept { failing_allocations::Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { failing_allocations::Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { failing_allocations::Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { failing_allocations::Release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { failing_allocations::Release(p); }
#endif

#include "CountingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<uint64_t> g_nAllocations{0};

void* Allocate(std::size_t nSize) {
    g_nAllocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(nSize != 0 ? nSize : 1);
}

}  // namespace

namespace qvbench {

uint64_t AllocationCount() {
    return g_nAllocations.load(std::memory_order_relaxed);
}

}  // namespace qvbench

void* operator new(std::size_t nSize) {
    if (void* p = Allocate(nSize)) {
        return p;
    }
    throw std::bad_alloc();
}

void* operator new[](std::size_t nSize) {
    return ::operator new(nSize);
}

void* operator new(std::size_t nSize, const std::nothrow_t&) noexcept {
    return Allocate(nSize);
}

void* operator new[](std::size_t nSize, const std::nothrow_t&) noexcept {
    return Allocate(nSize);
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete[](void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

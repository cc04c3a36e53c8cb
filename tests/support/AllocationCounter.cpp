#include "support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<int> counters{0};
std::atomic<std::size_t> allocations{0};
std::atomic<long> live{0};
std::atomic<int> refusalsLeft{0};

void* Allocate(std::size_t size) {
    if (counters.load() > 0) ++allocations;
    for (int left = refusalsLeft.load(); left > 0;)
        if (refusalsLeft.compare_exchange_weak(left, left - 1)) throw std::bad_alloc();
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        ++live;
        return block;
    }
    throw std::bad_alloc();
}

void Free(void* block) noexcept {
    if (block == nullptr) return;
    --live;
    std::free(block);
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* block) noexcept { Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }

namespace test {

long LiveAllocations() { return live.load(); }

AllocationCounter::AllocationCounter() {
    allocations = 0;
    ++counters;
}
AllocationCounter::~AllocationCounter() { --counters; }
std::size_t AllocationCounter::Count() const { return allocations.load(); }

RefusedAllocations::RefusedAllocations(int count) { refusalsLeft = count; }
RefusedAllocations::~RefusedAllocations() { refusalsLeft = 0; }

}  // namespace test

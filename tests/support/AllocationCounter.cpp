#include "support/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<int> counters{0};
std::atomic<std::size_t> allocations{0};

void* Allocate(std::size_t size) {
    if (counters.load() > 0) ++allocations;
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace test {

AllocationCounter::AllocationCounter() {
    allocations = 0;
    ++counters;
}
AllocationCounter::~AllocationCounter() { --counters; }
std::size_t AllocationCounter::Count() const { return allocations.load(); }

}  // namespace test

#pragma once
// The stand-in game's two allocators: the heap menus live on, and the allocator object
// the game's own hash maps use. Neither flatters: a fresh block holds garbage, a freed
// block is poisoned and kept out of use for a while, a block freed twice or never handed
// out is reported, and so is a block freed while an event source still holds a sink
// inside it. Both count what is live so tests can see leaks.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace sim {

// What fills a block the heap hands out, and what a freed one is overwritten with.
inline constexpr std::uint8_t kFreshBlockFill = 0xCD;
inline constexpr std::uint8_t kFreedBlockFill = 0xDD;

class Heap {
public:
    explicit Heap(std::string name) : name_(std::move(name)) {}
    void* Allocate(std::uint32_t size);
    void Free(void* block);

    std::size_t LiveBlocks() const;
    const std::string& Name() const { return name_; }
    // The next allocations fail, as a host out of memory would.
    void FailNextAllocations(std::size_t count);

private:
    mutable std::mutex mutex_;
    std::string name_;
    std::unordered_map<void*, std::uint32_t> live_;
    std::deque<void*> quarantine_;  // freed and poisoned, not yet given back
    std::unordered_set<void*> quarantined_;
    std::size_t failures_ = 0;
};

Heap& HostHeap();       // HostHeapAllocate / HostHeapFree
Heap& HostAllocator();  // HostAllocate / HostFree on HostAllocatorObject

}  // namespace sim

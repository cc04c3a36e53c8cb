#pragma once
// The stand-in game's two allocators: the heap menus live on, and the allocator object
// the game's own hash maps use. Both count what is live so tests can see leaks.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace sim {

class Heap {
public:
    void* Allocate(std::uint32_t size);
    void Free(void* block);

    std::size_t LiveBlocks() const;
    std::size_t BadFrees() const { return badFrees_; }
    // The next allocations fail, as a host out of memory would.
    void FailNextAllocations(std::size_t count) { failures_ = count; }

private:
    mutable std::mutex mutex_;
    std::unordered_map<void*, std::uint32_t> live_;
    std::size_t badFrees_ = 0;
    std::size_t failures_ = 0;
};

Heap& HostHeap();        // HostHeapAllocate / HostHeapFree
Heap& HostAllocator();   // HostAllocate / HostFree on HostAllocatorObject

}  // namespace sim

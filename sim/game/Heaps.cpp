#include "sim/game/Heaps.h"

#include <cstdlib>

namespace sim {

void* Heap::Allocate(std::uint32_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failures_ > 0) {
        --failures_;
        return nullptr;
    }
    void* block = std::calloc(1, size == 0 ? 1 : size);
    if (block) live_.emplace(block, size);
    return block;
}

void Heap::Free(void* block) {
    if (block == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (live_.erase(block) == 0) {
        ++badFrees_;  // not ours, or freed twice: keep the process alive and count it
        return;
    }
    std::free(block);
}

std::size_t Heap::LiveBlocks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return live_.size();
}

Heap& HostHeap() {
    static Heap* const heap = new Heap();
    return *heap;
}

Heap& HostAllocator() {
    static Heap* const heap = new Heap();
    return *heap;
}

}  // namespace sim

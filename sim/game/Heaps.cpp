#include "sim/game/Heaps.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "sim/game/EventSource.h"
#include "sim/game/Misuse.h"

namespace sim {

namespace {

// Freed blocks stay poisoned this long, so a late use reads poison, not a new block.
constexpr std::size_t kQuarantineBlocks = 256;

std::string Hex(const void* address) {
    char text[16];
    std::snprintf(text, sizeof text, "%p", address);
    return text;
}

}  // namespace

void* Heap::Allocate(std::uint32_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failures_ > 0) {
        --failures_;
        return nullptr;
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) return nullptr;
    std::memset(block, kFreshBlockFill, size == 0 ? 1 : size);
    try {
        live_.emplace(block, size);
    } catch (const std::bad_alloc&) {
        // Out of memory for the bookkeeping is out of memory: the game's heap answers null.
        std::free(block);
        return nullptr;
    }
    return block;
}

void Heap::Free(void* block) {
    if (block == nullptr) return;
    std::uint32_t size = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = live_.find(block);
        if (found == live_.end()) {
            ReportMisuse(name_ + ": block " + Hex(block) +
                         (quarantined_.count(block) ? " freed twice" : " freed but never allocated here"));
            return;
        }
        size = found->second;
        live_.erase(found);
    }
    // Checked before the poison lands: a sink still registered here would be called into garbage.
    for (const RegisteredSink& sink : SinksWithin(block, size))
        ReportMisuse(name_ + ": block " + Hex(block) + " freed while " + sink.source + " still holds sink " +
                     Hex(sink.sink) + " inside it");
    std::lock_guard<std::mutex> lock(mutex_);
    std::memset(block, kFreedBlockFill, size == 0 ? 1 : size);
    quarantine_.push_back(block);
    quarantined_.insert(block);
    if (quarantine_.size() > kQuarantineBlocks) {
        void* oldest = quarantine_.front();
        quarantine_.pop_front();
        quarantined_.erase(oldest);
        std::free(oldest);
    }
}

std::size_t Heap::LiveBlocks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return live_.size();
}

void Heap::FailNextAllocations(std::size_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_ = count;
}

Heap& HostHeap() {
    static Heap* const heap = new Heap("the game's heap");
    return *heap;
}

Heap& HostAllocator() {
    static Heap* const heap = new Heap("the game's allocator");
    return *heap;
}

}  // namespace sim

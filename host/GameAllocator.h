#pragma once
// A standard allocator over the game's allocator object (HostAllocate / HostFree), for the
// plugin's own maps that the game's code would keep there. A refused allocation throws
// std::bad_alloc, as the plain allocator would.

#include <cstddef>
#include <cstdint>
#include <new>

#include "host/Host.h"

namespace host {

template <class T>
struct GameAllocator {
    using value_type = T;
    GameAllocator() = default;
    template <class U>
    GameAllocator(const GameAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        const HostTable* t = Table();
        if (count > UINT32_MAX / sizeof(T) || t == nullptr || t->HostAllocate == nullptr) throw std::bad_alloc();
        void* block = t->HostAllocate(t->HostAllocatorObject, static_cast<std::uint32_t>(count * sizeof(T)));
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t) noexcept {
        const HostTable* t = Table();
        if (block != nullptr && t != nullptr && t->HostFree != nullptr)
            NeutralOnThrow([&] { t->HostFree(t->HostAllocatorObject, block); });
    }
    template <class U>
    bool operator==(const GameAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace host

#include "sim/EventSource.h"

#include <algorithm>

#include "host/CallingConventions.h"

namespace sim {

namespace {

using ReceiveEventEntry = host::EventResult(HOST_THISCALL*)(void* sink, void* event, void* source);
constexpr std::size_t kReceiveEventSlot = 1;

ReceiveEventEntry ReceiveEventOf(void* sink) {
    void** vtable = *static_cast<void***>(sink);
    return reinterpret_cast<ReceiveEventEntry>(vtable[kReceiveEventSlot]);
}

}  // namespace

EventSource::EventSource() : host::EventSourceBase{} { Compact(); }

EventSource::~EventSource() = default;

void EventSource::Compact() {
    storage_.erase(std::remove(storage_.begin(), storage_.end(), nullptr), storage_.end());
    sinks = storage_.data();
    count = static_cast<std::uint32_t>(storage_.size());
    capacity = static_cast<std::uint32_t>(storage_.capacity());
}

bool EventSource::Contains(void* sink) const {
    return std::find(storage_.begin(), storage_.end(), sink) != storage_.end() ||
           std::find(pendingAdds_.begin(), pendingAdds_.end(), sink) != pendingAdds_.end();
}

std::uint32_t EventSource::SinkCount() const {
    return static_cast<std::uint32_t>(std::count_if(storage_.begin(), storage_.end(), [](void* s) { return s; }) +
                                      pendingAdds_.size());
}

void EventSource::Add(void* sink) {
    if (sink == nullptr) return;
    host::SpinLockGuard guard(lock);
    if (Contains(sink)) return;  // the game registers a sink once
    if (dispatching_ > 0) {
        pendingAdds_.push_back(sink);  // joins after the current dispatch
        return;
    }
    storage_.push_back(sink);
    Compact();
}

void EventSource::Remove(void* sink) {
    host::SpinLockGuard guard(lock);
    pendingAdds_.erase(std::remove(pendingAdds_.begin(), pendingAdds_.end(), sink), pendingAdds_.end());
    const auto found = std::find(storage_.begin(), storage_.end(), sink);
    if (found == storage_.end()) return;
    *found = nullptr;  // mid-dispatch the slot stays, so later sinks keep their places
    if (dispatching_ == 0) Compact();
}

void EventSource::Dispatch(void* event) {
    host::SpinLockGuard guard(lock);
    ++dispatching_;
    for (std::size_t i = 0; i < storage_.size(); ++i) {
        void* sink = storage_[i];
        if (sink == nullptr) continue;
        if (ReceiveEventOf(sink)(sink, event, this) == host::EventResult::kStop) break;
    }
    if (--dispatching_ == 0) {
        storage_.insert(storage_.end(), pendingAdds_.begin(), pendingAdds_.end());
        pendingAdds_.clear();
        Compact();
    }
}

}  // namespace sim

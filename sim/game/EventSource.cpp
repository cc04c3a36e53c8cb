#include "sim/game/EventSource.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "host/CallingConventions.h"
#include "host/MsvcAbi.h"
#include "host/PatchedRecords.h"

namespace sim {

namespace {

using ReceiveEventEntry = host::EventResult(HOST_THISCALL*)(void* sink, void* event, void* source);

ReceiveEventEntry ReceiveEventOf(void* sink) {
    void** vtable = *static_cast<void***>(sink);
    return reinterpret_cast<ReceiveEventEntry>(vtable[host::kReceiveEventSlot]);
}

using DeletingDestructorEntry = void*(HOST_THISCALL*)(void* sink, std::uint32_t flags);

DeletingDestructorEntry DeletingDestructorOf(void* sink) {
    void** vtable = *static_cast<void***>(sink);
    return reinterpret_cast<DeletingDestructorEntry>(vtable[0]);
}

struct SourceState {
    std::string name = "an event source";
    std::vector<void*> storage;  // backs `sinks`; null entries are sinks removed mid-dispatch
    std::vector<void*> pendingAdds;
    int dispatching = 0;
};

std::unordered_map<const host::EventSourceBase*, SourceState>& States() {
    static auto* const states = new std::unordered_map<const host::EventSourceBase*, SourceState>();
    return *states;
}

// Guards the table of states itself; each state is guarded by its source's own lock.
std::mutex& StatesMutex() {
    static auto* const mutex = new std::mutex();
    return *mutex;
}

SourceState& StateOf(const host::EventSourceBase& source) {
    std::lock_guard<std::mutex> lock(StatesMutex());
    return States()[&source];  // a node's address never changes once it is in the table
}

void Publish(host::EventSourceBase& source, SourceState& state) {
    state.storage.erase(std::remove(state.storage.begin(), state.storage.end(), nullptr), state.storage.end());
    source.sinks = state.storage.data();
    source.count = static_cast<std::uint32_t>(state.storage.size());
    source.capacity = static_cast<std::uint32_t>(state.storage.capacity());
}

void Unpublish(host::EventSourceBase& source) {
    source.sinks = nullptr;
    source.count = 0;
    source.capacity = 0;
}

bool Listed(const SourceState& state, void* sink) {
    return std::find(state.storage.begin(), state.storage.end(), sink) != state.storage.end() ||
           std::find(state.pendingAdds.begin(), state.pendingAdds.end(), sink) != state.pendingAdds.end();
}

}  // namespace

void AddSink(host::EventSourceBase& source, void* sink) {
    if (sink == nullptr) return;
    host::SpinLockGuard guard(source.lock);
    SourceState& state = StateOf(source);
    if (Listed(state, sink)) return;  // the game registers a sink once
    if (state.dispatching > 0) {
        state.pendingAdds.push_back(sink);  // joins after the current dispatch
        return;
    }
    state.storage.push_back(sink);
    Publish(source, state);
}

void RemoveSink(host::EventSourceBase& source, void* sink) {
    host::SpinLockGuard guard(source.lock);
    SourceState& state = StateOf(source);
    std::erase(state.pendingAdds, sink);
    const auto found = std::find(state.storage.begin(), state.storage.end(), sink);
    if (found == state.storage.end()) return;
    *found = nullptr;  // mid-dispatch the slot stays, so later sinks keep their places
    if (state.dispatching == 0) Publish(source, state);
}

bool HasSink(const host::EventSourceBase& source, void* sink) { return Listed(StateOf(source), sink); }

std::uint32_t SinkCount(const host::EventSourceBase& source) {
    const SourceState& state = StateOf(source);
    return static_cast<std::uint32_t>(
        std::count_if(state.storage.begin(), state.storage.end(), [](void* s) { return s != nullptr; }) +
        state.pendingAdds.size());
}

void Dispatch(host::EventSourceBase& source, void* event) {
    host::SpinLockGuard guard(source.lock);
    SourceState& state = StateOf(source);
    ++state.dispatching;
    for (std::size_t i = 0; i < state.storage.size(); ++i) {
        void* sink = state.storage[i];
        if (sink == nullptr) continue;
        if (ReceiveEventOf(sink)(sink, event, &source) == host::EventResult::kStop) break;
    }
    if (--state.dispatching == 0) {
        state.storage.insert(state.storage.end(), state.pendingAdds.begin(), state.pendingAdds.end());
        state.pendingAdds.clear();
        Publish(source, state);
    }
}

void NameSource(host::EventSourceBase& source, const std::string& name) {
    host::SpinLockGuard guard(source.lock);
    StateOf(source).name = name;
}

std::vector<RegisteredSink> SinksWithin(const void* block, std::size_t size) {
    const auto* begin = static_cast<const char*>(block);
    const auto inside = [&](const void* sink) {
        const auto* at = static_cast<const char*>(sink);
        return at >= begin && at < begin + (size == 0 ? 1 : size);
    };
    std::vector<RegisteredSink> found;
    std::lock_guard<std::mutex> lock(StatesMutex());
    for (const auto& [source, state] : States()) {
        for (void* sink : state.storage)
            if (sink != nullptr && inside(sink)) found.push_back({state.name, sink});
        for (void* sink : state.pendingAdds)
            if (inside(sink)) found.push_back({state.name, sink});
    }
    return found;
}

void ForgetSource(host::EventSourceBase& source) {
    std::vector<void*> owned;
    {
        std::lock_guard<std::mutex> lock(StatesMutex());
        const auto found = States().find(&source);
        if (found != States().end()) {
            for (void* sink : found->second.storage)
                if (sink != nullptr) owned.push_back(sink);
            owned.insert(owned.end(), found->second.pendingAdds.begin(), found->second.pendingAdds.end());
            States().erase(found);
        }
    }
    // The sinks a source still holds are the game's to destroy when the source goes, as a
    // sink handed to it was its to keep (slot 0 with the free flag).
    for (void* sink : owned) DeletingDestructorOf(sink)(sink, host::kDeletingDestructorFree);
    Unpublish(source);
}

void AbandonSinks(host::EventSourceBase& source) {
    {
        std::lock_guard<std::mutex> lock(StatesMutex());
        States().erase(&source);
    }
    Unpublish(source);
}

}  // namespace sim

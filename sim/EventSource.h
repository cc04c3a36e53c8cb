#pragma once
// The stand-in game's event sources: the host layout, plus what the dispatch needs to
// let a sink add or remove sinks (itself included) while it is being called.

#include <cstdint>
#include <vector>

#include "host/Events.h"

namespace sim {

struct EventSource : host::EventSourceBase {
    EventSource();
    ~EventSource();
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;

    void Add(void* sink);
    void Remove(void* sink);
    bool Contains(void* sink) const;
    std::uint32_t SinkCount() const;  // registered sinks, pending ones included

    // Calls every sink's ReceiveEvent (slot 1) as the game does, under the source's lock.
    void Dispatch(void* event);

private:
    void Compact();

    std::vector<void*> storage_;  // backs `sinks`; null entries are sinks removed mid-dispatch
    std::vector<void*> pendingAdds_;
    int dispatching_ = 0;
};

template <class Event>
struct TypedEventSource : EventSource {
    void Send(Event& event) { Dispatch(&event); }
};

}  // namespace sim

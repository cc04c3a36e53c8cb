#pragma once
// The stand-in game's event dispatch over sources in the host's layout. What the game
// keeps beside a source to let sinks add or remove sinks (themselves included) while they
// are being called is kept here in a side table, so a source can sit inside any host
// record at its own offset.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/Events.h"

namespace sim {

void AddSink(host::EventSourceBase& source, void* sink);
void RemoveSink(host::EventSourceBase& source, void* sink);
bool HasSink(const host::EventSourceBase& source, void* sink);
std::uint32_t SinkCount(const host::EventSourceBase& source);  // pending ones included
// Calls every sink's ReceiveEvent (slot 1) as the game does, under the source's lock.
void Dispatch(host::EventSourceBase& source, void* event);
// A source that goes away: the sinks it still holds are destroyed (their slot 0, with the
// free flag), and what the stand-in kept for it is dropped.
void ForgetSource(host::EventSourceBase& source);
// A source whose sinks went with the module that registered them (a plugin unloaded): they
// are dropped unheard, as there is no code left to call.
void AbandonSinks(host::EventSourceBase& source);
// What a source is called in the stand-in's reports ("the death event source").
void NameSource(host::EventSourceBase& source, const std::string& name);

struct RegisteredSink {
    std::string source;  // the source's name
    void* sink;
};
// Every sink any source holds whose object starts inside [block, block + size).
std::vector<RegisteredSink> SinksWithin(const void* block, std::size_t size);

template <class Event>
void Send(host::BSTEventSource<Event>& source, Event& event) {
    Dispatch(source, &event);
}

}  // namespace sim

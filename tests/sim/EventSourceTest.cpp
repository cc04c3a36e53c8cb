// Event dispatch as the game does it: through the sinks' slot 1, tolerating sinks that
// add or remove sinks while they are being called.

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "host/Events.h"
#include "host/Host.h"
#include "sim/game/Game.h"

namespace {

using Event = host::TESDeathEvent;

class RecordingSink final : public host::BSTEventSink<Event> {
public:
    RecordingSink(std::vector<int>& calls, int id) : calls_(calls), id_(id) {}
    std::function<void(host::BSTEventSource<Event>*)> onEvent;

    HOST_THISCALL void* DeletingDestructor(std::uint32_t) override { return this; }
    HOST_THISCALL host::EventResult ReceiveEvent(Event*, host::BSTEventSource<Event>* source) override {
        calls_.push_back(id_);
        if (onEvent) onEvent(source);
        return host::EventResult::kContinue;
    }

private:
    std::vector<int>& calls_;
    int id_;
};

TEST(EventSources, DispatchReachesSinksInOrderThroughTheHostEntries) {
    host::BSTEventSource<Event> source{};
    std::vector<int> calls;
    RecordingSink first(calls, 1), second(calls, 2);
    host::AddEventSink(&source, &first);
    host::AddEventSink(&source, &second);
    host::AddEventSink(&source, &first);  // registered once only
    EXPECT_EQ(source.count, 2u);
    EXPECT_EQ(source.sinks[0], &first) << "the host layout lists the sinks";

    Event event{};
    sim::Send(source, event);
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));

    host::RemoveEventSink(&source, &first);
    sim::Send(source, event);
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 2}));
    EXPECT_EQ(source.lock.owner, 0) << "the source's lock is free after every operation";
    sim::ForgetSource(source);
}

TEST(EventSources, SinksMayChangeTheListWhileBeingCalled) {
    host::BSTEventSource<Event> source{};
    std::vector<int> calls;
    RecordingSink selfRemoving(calls, 1), victim(calls, 2), last(calls, 3), late(calls, 4);
    selfRemoving.onEvent = [&](host::BSTEventSource<Event>* from) {
        host::RemoveEventSink(from, &selfRemoving);
        host::RemoveEventSink(from, &victim);  // a later sink removed before its turn
        host::AddEventSink(from, &late);       // joins after this dispatch
    };
    for (auto* sink : {&selfRemoving, &victim, &last}) host::AddEventSink(&source, sink);

    Event event{};
    sim::Send(source, event);
    EXPECT_EQ(calls, (std::vector<int>{1, 3}));
    EXPECT_EQ(sim::SinkCount(source), 2u);

    calls.clear();
    sim::Send(source, event);
    EXPECT_EQ(calls, (std::vector<int>{3, 4}));
    EXPECT_EQ(source.count, 2u) << "removed slots are gone once the dispatch ends";
    sim::ForgetSource(source);
}

}  // namespace

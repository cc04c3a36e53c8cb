#pragma once
// Event sources, sinks and the event records the plugin receives.

#include <cstddef>
#include <cstdint>

#include "host/CallingConventions.h"
#include "host/FixedString.h"
#include "host/SpinLock.h"

namespace host {

class TESObjectREFR;

// What a sink's ReceiveEvent answers; the plugin always lets the dispatch go on.
enum class EventResult : std::uint32_t { kContinue = 0, kStop = 1 };

// BSTEventSource<E>: the sinks are walked and changed under the source's own spin lock.
struct EventSourceBase {
    RecursiveSpinLock lock;  // 00
    void** sinks;            // 08: array of sink pointers
    std::uint32_t capacity;  // 0C
    std::uint32_t count;     // 10
};
static_assert(offsetof(EventSourceBase, lock) == 0x00);
static_assert(offsetof(EventSourceBase, sinks) == 0x08);
static_assert(offsetof(EventSourceBase, capacity) == 0x0C);
static_assert(offsetof(EventSourceBase, count) == 0x10);
static_assert(sizeof(EventSourceBase) == 0x14);

template <class Event>
struct BSTEventSource : EventSourceBase {};

// BSTEventSink<E>, in the host's object model: slot 0 is the deleting destructor (a
// flags word, bit 0 = free the storage), slot 1 is ReceiveEvent. No C++ virtual
// destructor here: g++ would add a second slot and shift ReceiveEvent.
template <class Event>
class BSTEventSink {
public:
    HOST_THISCALL virtual void* DeletingDestructor(std::uint32_t flags) = 0;
    HOST_THISCALL virtual EventResult ReceiveEvent(Event* event, BSTEventSource<Event>* source) = 0;

protected:
    ~BSTEventSink() = default;
};

struct TESMagicEffectApplyEvent {
    TESObjectREFR* target;   // 00
    TESObjectREFR* caster;   // 04
    std::uint32_t effectId;  // 08
};
static_assert(offsetof(TESMagicEffectApplyEvent, target) == 0x00);
static_assert(offsetof(TESMagicEffectApplyEvent, caster) == 0x04);
static_assert(offsetof(TESMagicEffectApplyEvent, effectId) == 0x08);

struct TESDeathEvent {
    TESObjectREFR* actor;  // 00: the reference that died
};
static_assert(offsetof(TESDeathEvent, actor) == 0x00);

struct MenuOpenCloseEvent {
    FixedString menuName;  // 00
    std::uint8_t opening;  // 04: nonzero opening, zero closing
};
static_assert(offsetof(MenuOpenCloseEvent, menuName) == 0x00);
static_assert(offsetof(MenuOpenCloseEvent, opening) == 0x04);

}  // namespace host

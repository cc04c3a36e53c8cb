#pragma once
// Typed access to the host table: every plugin call into the game goes through here.

#include <cstdint>
#include <type_traits>
#include <utility>

#include "host/Callback.h"
#include "host/HostTable.h"

namespace host {

// The table the loading executable exports, or null when it exports none or one of
// another layout. Resolved once.
const HostTable* Table();

// Calls a table entry, or answers `fallback` when the host offers no table, leaves that
// entry null, or the entry throws: an entry that fails is one the plugin does without.
template <auto Entry, class Result, class... Args>
Result CallOr(Result fallback, Args&&... args) {
    const HostTable* t = Table();
    if (t == nullptr || t->*Entry == nullptr) return fallback;
    return NeutralOnThrow(fallback, [&] { return static_cast<Result>((t->*Entry)(std::forward<Args>(args)...)); });
}

template <auto Entry, class... Args>
void Call(Args&&... args) {
    const HostTable* t = Table();
    if (t != nullptr && t->*Entry != nullptr) NeutralOnThrow([&] { (t->*Entry)(std::forward<Args>(args)...); });
}

// A plain global's current value, or null.
template <auto Global>
auto GlobalValue() -> std::remove_reference_t<decltype(*(std::declval<const HostTable&>().*Global))> {
    const HostTable* t = Table();
    return t && t->*Global ? *(t->*Global) : nullptr;
}

PlayerCharacter* Player();
ProcessLists* GetProcessLists();
UIStringTable* UIStrings();

// The lazy singleton rule: read the host's pointer global; if it is null, call the
// host's creation function and store its result there; then use what the global holds.
template <class T>
T* Singleton(T** global, T* (HOST_CDECL* create)()) {
    if (global == nullptr) return nullptr;
    if (*global == nullptr && create != nullptr) *global = create();
    return *global;
}

MenuManager* GetMenuManager();
PlayerCamera* GetPlayerCamera();
InputEventDispatcher* GetInputEventDispatcher();
PlayerControls* GetPlayerControls();
ControlState* GetControlState();
// The menu manager's open/close event source, or null without a menu manager.
EventSourceBase* MenuOpenCloseSource();

// A counted reference from LookupReferenceByHandle, dropped when the guard goes.
class ReferenceGuard {
public:
    ReferenceGuard() = default;
    explicit ReferenceGuard(TESObjectREFR* reference) : reference_(reference) {}
    ReferenceGuard(ReferenceGuard&& other) noexcept : reference_(std::exchange(other.reference_, nullptr)) {}
    ReferenceGuard& operator=(ReferenceGuard&& other) noexcept {
        if (this != &other) {
            Reset();
            reference_ = std::exchange(other.reference_, nullptr);
        }
        return *this;
    }
    ReferenceGuard(const ReferenceGuard&) = delete;
    ReferenceGuard& operator=(const ReferenceGuard&) = delete;
    ~ReferenceGuard() { Reset(); }

    TESObjectREFR* Get() const { return reference_; }
    explicit operator bool() const { return reference_ != nullptr; }
    void Reset();

private:
    TESObjectREFR* reference_ = nullptr;
};

// Resolves a handle to a counted reference; an empty guard when it does not resolve.
ReferenceGuard LookupReference(ActorHandle handle);

// The host's "no actor" handle value (0 when the host offers none).
ActorHandle EmptyHandle();

void AddEventSink(EventSourceBase* source, void* sink);
void RemoveEventSink(EventSourceBase* source, void* sink);

// Reference and actor queries; each answers neutrally when the host lacks the entry.
NiNode* ActorRootNode(TESObjectREFR* reference);
NiPoint3 FallbackAimPosition(TESObjectREFR* reference);
NiAVObject* FindNodeByName(NiAVObject* root, const FixedString* name);
bool IsMenuOpen(MenuManager* manager, const FixedString* name);

// The player's extra-data test: the flag says the player may carry the extra data,
// and the presence bitmap says it does.
bool HasInteractionExtra(const Actor& actor);

void* HeapAllocate(std::uint32_t size, std::uint32_t alignment);
void HeapFree(void* block);

}  // namespace host

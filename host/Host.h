#pragma once
// Typed access to the host table: every plugin call into the game goes through here.

#include <atomic>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "host/Callback.h"
#include "host/HostTable.h"

namespace host {

namespace detail {
// The table once resolved, and whether it has been: read inline on every host call, so a
// call costs two loads rather than a call into a guarded static.
extern constinit std::atomic<const HostTable*> resolvedTable;
extern constinit std::atomic<bool> tableResolved;
const HostTable* ResolveTable();
}  // namespace detail

// The table the loading executable exports, or null when it exports none or one of
// another layout. Resolved once, on first use.
inline const HostTable* Table() {
    if (detail::tableResolved.load(std::memory_order_acquire)) [[likely]]
        return detail::resolvedTable.load(std::memory_order_relaxed);
    return detail::ResolveTable();
}

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

inline PlayerCharacter* Player() { return GlobalValue<&HostTable::PlayerActorGlobal>(); }
inline ProcessLists* GetProcessLists() { return GlobalValue<&HostTable::ProcessListsGlobal>(); }
inline UIStringTable* UIStrings() { return GlobalValue<&HostTable::UIStringTable>(); }

// The lazy singleton rule: read the host's pointer global; if it is null, call the
// host's creation function and store its result there; then use what the global holds.
// clang-format off
template <class T>
T* Singleton(T** global, T* (HOST_CDECL* create)()) {
    if (global == nullptr) return nullptr;
    if (*global == nullptr && create != nullptr) *global = NeutralOnThrow(static_cast<T*>(nullptr), create);
    return *global;
}
// clang-format on

// The lazy rule over one of the table's global and getter pairs.
template <auto Global, auto Create>
auto TableSingleton() -> std::remove_reference_t<decltype(*(std::declval<const HostTable&>().*Global))> {
    const HostTable* t = Table();
    return t ? Singleton(t->*Global, t->*Create) : nullptr;
}

inline MenuManager* GetMenuManager() {
    return TableSingleton<&HostTable::MenuManagerGlobal, &HostTable::GetMenuManagerSingleton>();
}
inline PlayerCamera* GetPlayerCamera() {
    return TableSingleton<&HostTable::PlayerCameraGlobal, &HostTable::GetPlayerCameraSingleton>();
}
inline InputEventDispatcher* GetInputEventDispatcher() {
    return TableSingleton<&HostTable::InputEventDispatcherGlobal, &HostTable::GetInputEventDispatcherSingleton>();
}
inline PlayerControls* GetPlayerControls() {
    return TableSingleton<&HostTable::PlayerControlsGlobal, &HostTable::GetPlayerControlsSingleton>();
}
inline ControlState* GetControlState() {
    return TableSingleton<&HostTable::ControlStateGlobal, &HostTable::GetControlStateSingleton>();
}
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
inline ActorHandle EmptyHandle() {
    const HostTable* t = Table();
    return t && t->EmptyHandle ? *t->EmptyHandle : 0;
}

void AddEventSink(EventSourceBase* source, void* sink);
void RemoveEventSink(EventSourceBase* source, void* sink);

// Reference and actor queries; each answers neutrally when the host lacks the entry.
inline NiNode* ActorRootNode(TESObjectREFR* reference) {
    return CallOr<&HostTable::GetActorRootNode>(static_cast<NiNode*>(nullptr), reference);
}
inline NiPoint3 FallbackAimPosition(TESObjectREFR* reference) {
    NiPoint3 point;
    Call<&HostTable::GetActorFallbackAimPosition>(reference, &point);
    return point;
}
inline NiAVObject* FindNodeByName(NiAVObject* root, const FixedString* name) {
    return CallOr<&HostTable::FindNodeByName>(static_cast<NiAVObject*>(nullptr), root, name);
}
inline bool IsMenuOpen(MenuManager* manager, const FixedString* name) {
    return CallOr<&HostTable::IsMenuOpen>(false, manager, name);
}

// The player's extra-data test: the flag says the player may carry the extra data,
// and the presence bitmap says it does.
inline bool HasInteractionExtra(const Actor& actor) {
    if (!(actor.flagWord & kActorFlagHasExtraInteraction) || actor.extraPresence == nullptr) return false;
    const std::uint8_t bits = actor.extraPresence->bits[kExtraInteractionType / 8];
    return (bits & (1u << (kExtraInteractionType % 8))) != 0;
}

void* HeapAllocate(std::uint32_t size, std::uint32_t alignment);
void HeapFree(void* block);

}  // namespace host

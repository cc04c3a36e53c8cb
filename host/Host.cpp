#include "host/Host.h"

#include <windows.h>

namespace host {

namespace {

const HostTable* ResolveTable() {
    auto* exported = reinterpret_cast<HostTable* const*>(
        GetProcAddress(GetModuleHandleA(nullptr), kHostTableExport));
    if (exported == nullptr || *exported == nullptr) return nullptr;
    const HostTable* table = *exported;
    if (table->version != kHostTableVersion || table->size != sizeof(HostTable)) return nullptr;
    return table;
}

}  // namespace

const HostTable* Table() {
    static const HostTable* const table = ResolveTable();
    return table;
}

PlayerCharacter* Player() { return GlobalValue<&HostTable::PlayerActorGlobal>(); }
ProcessLists* GetProcessLists() { return GlobalValue<&HostTable::ProcessListsGlobal>(); }
UIStringTable* UIStrings() { return GlobalValue<&HostTable::UIStringTable>(); }

NiNode* ActorRootNode(TESObjectREFR* reference) {
    return CallOr<&HostTable::GetActorRootNode>(static_cast<NiNode*>(nullptr), reference);
}

NiPoint3 FallbackAimPosition(TESObjectREFR* reference) {
    NiPoint3 point;
    Call<&HostTable::GetActorFallbackAimPosition>(reference, &point);
    return point;
}

NiAVObject* FindNodeByName(NiAVObject* root, const FixedString* name) {
    return CallOr<&HostTable::FindNodeByName>(static_cast<NiAVObject*>(nullptr), root, name);
}

bool IsMenuOpen(MenuManager* manager, const FixedString* name) {
    return CallOr<&HostTable::IsMenuOpen>(false, manager, name);
}

bool HasInteractionExtra(const Actor& actor) {
    if (!(actor.flagWord & kActorFlagHasExtraInteraction) || actor.extraPresence == nullptr) return false;
    const std::uint8_t bits = actor.extraPresence->bits[kExtraInteractionType / 8];
    return (bits & (1u << (kExtraInteractionType % 8))) != 0;
}

namespace {

// The lazy rule over one of the table's global and getter pairs.
template <auto Global, auto Create>
auto TableSingleton() -> std::remove_reference_t<decltype(*(std::declval<const HostTable&>().*Global))> {
    const HostTable* t = Table();
    return t ? Singleton(t->*Global, t->*Create) : nullptr;
}

}  // namespace

MenuManager* GetMenuManager() {
    return TableSingleton<&HostTable::MenuManagerGlobal, &HostTable::GetMenuManagerSingleton>();
}

PlayerCamera* GetPlayerCamera() {
    return TableSingleton<&HostTable::PlayerCameraGlobal, &HostTable::GetPlayerCameraSingleton>();
}

InputEventDispatcher* GetInputEventDispatcher() {
    return TableSingleton<&HostTable::InputEventDispatcherGlobal, &HostTable::GetInputEventDispatcherSingleton>();
}

PlayerControls* GetPlayerControls() {
    return TableSingleton<&HostTable::PlayerControlsGlobal, &HostTable::GetPlayerControlsSingleton>();
}

ControlState* GetControlState() {
    return TableSingleton<&HostTable::ControlStateGlobal, &HostTable::GetControlStateSingleton>();
}

EventSourceBase* MenuOpenCloseSource() {
    MenuManager* menus = GetMenuManager();
    return menus ? &menus->menuOpenCloseSource : nullptr;
}

void ReferenceGuard::Reset() {
    TESObjectREFR* reference = std::exchange(reference_, nullptr);
    if (reference == nullptr) return;
    const HostTable* t = Table();
    if (t && t->DropReference) NeutralOnThrow([&] { t->DropReference(reference); });
}

ReferenceGuard LookupReference(ActorHandle handle) {
    const HostTable* t = Table();
    if (!t || !t->LookupReferenceByHandle) return {};
    TESObjectREFR* reference = nullptr;
    const bool found = NeutralOnThrow(false, [&] { return t->LookupReferenceByHandle(&handle, &reference); });
    ReferenceGuard held(reference);
    if (!found) return {};  // a count handed over despite the failure is dropped with `held`
    return held;
}

ActorHandle EmptyHandle() {
    const HostTable* t = Table();
    return t && t->EmptyHandle ? *t->EmptyHandle : 0;
}

void AddEventSink(EventSourceBase* source, void* sink) {
    const HostTable* t = Table();
    if (t && t->AddEventSink && source) NeutralOnThrow([&] { t->AddEventSink(source, sink); });
}

void RemoveEventSink(EventSourceBase* source, void* sink) {
    const HostTable* t = Table();
    if (t && t->RemoveEventSink && source) NeutralOnThrow([&] { t->RemoveEventSink(source, sink); });
}

void* HeapAllocate(std::uint32_t size, std::uint32_t alignment) {
    const HostTable* t = Table();
    if (t == nullptr || t->HostHeapAllocate == nullptr) return nullptr;
    return NeutralOnThrow(static_cast<void*>(nullptr), [&] { return t->HostHeapAllocate(size, alignment); });
}

void HeapFree(void* block) {
    const HostTable* t = Table();
    if (t && t->HostHeapFree && block) NeutralOnThrow([&] { t->HostHeapFree(block); });
}

}  // namespace host

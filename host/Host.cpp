#include "host/Host.h"

#include <windows.h>

namespace host {

namespace detail {

constinit std::atomic<const HostTable*> resolvedTable{nullptr};
constinit std::atomic<bool> tableResolved{false};

namespace {

const HostTable* ExportedTable() {
    auto* exported = reinterpret_cast<HostTable* const*>(GetProcAddress(GetModuleHandleA(nullptr), kHostTableExport));
    if (exported == nullptr || *exported == nullptr) return nullptr;
    const HostTable* table = *exported;
    if (table->version != kHostTableVersion || table->size != sizeof(HostTable)) return nullptr;
    return table;
}

}  // namespace

const HostTable* ResolveTable() {
    const HostTable* const table = ExportedTable();  // the same answer whichever thread asks
    resolvedTable.store(table, std::memory_order_relaxed);
    tableResolved.store(true, std::memory_order_release);
    return table;
}

}  // namespace detail

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

#include "patches/FreezeFilterPatch.h"

#include "host/Callback.h"
#include "host/PatchedRecords.h"
#include "host/SpinLock.h"
#include "patches/SinkTypeName.h"
#include "ui/MenuName.h"

FreezeHandlerEntries FreezeHandlerSaved;
host::FixedString FreezeFilterPatch::markerMenuName;

namespace {

constexpr char kFreezeHandlerClass[] = "class FreezeEventHandler";

CodeAddress VtableOf(void* object) { return *static_cast<CodeAddress*>(object); }

// Routes one FreezeEventHandler table through the filter. Its entry is saved before the
// table changes, so the filter always finds it; when the saving fails, nothing changes.
bool FilterFreezeHandlerTable(CodeAddress vtable) {
    const CodeAddress slot = vtable + host::kReceiveEventSlot * sizeof(CodeAddress);
    // Two sinks may share one table: the filter is never saved as its own previous entry.
    if (Readable(slot, sizeof(CodeAddress)) && WordAt(slot) == AddressOf(&FreezeHandlerFilter)) return true;
    CodeAddress& saved = FreezeHandlerSaved[vtable];  // may throw: then the table stays the game's
    return ReplaceTableEntry(slot, AddressOf(&FreezeHandlerFilter), &saved).has_value();
}

}  // namespace

bool FreezeFilterPatch::Install(host::EventSourceBase* source) {
    if (source == nullptr) return false;
    if (markerMenuName.Handle() == nullptr) markerMenuName = host::FixedString(kMarkerMenuName);
    bool routed = false;
    host::SpinLockGuard guard(source->lock);
    for (std::uint32_t index = 0; index < source->count; ++index) {
        void* sink = source->sinks[index];
        host::NeutralOnThrow([&] {
            if (SinkTypeName(sink) == kFreezeHandlerClass && FilterFreezeHandlerTable(VtableOf(sink))) routed = true;
        });
    }
    return routed;
}

host::EventResult HOST_THISCALL FreezeHandlerFilter(void* sink, host::MenuOpenCloseEvent* event, void* source) {
    const CodeAddress saved = host::NeutralOnThrow(CodeAddress{0}, [&]() -> CodeAddress {
        const host::FixedString& markerMenu = FreezeFilterPatch::markerMenuName;
        if (event != nullptr && markerMenu.Handle() != nullptr && event->menuName == markerMenu) return 0;
        const auto found = FreezeHandlerSaved.find(VtableOf(sink));
        return found == FreezeHandlerSaved.end() ? 0 : found->second;
    });
    if (saved == 0) return host::EventResult::kContinue;
    using ReceiveEvent = host::EventResult(HOST_THISCALL*)(void*, host::MenuOpenCloseEvent*, void*);
    return reinterpret_cast<ReceiveEvent>(saved)(sink, event, source);
}

#pragma once
// Every FreezeEventHandler on the menu open/close source gets its ReceiveEvent entry
// replaced by FreezeHandlerFilter, which hides the marker menu's own open and close from it
// (the game would otherwise treat the marker as a menu that freezes the world).

#include <unordered_map>

#include "host/CallingConventions.h"
#include "host/Events.h"
#include "host/FixedString.h"
#include "host/GameAllocator.h"
#include "patches/CodeWriter.h"

// The previous ReceiveEvent entry of each patched FreezeEventHandler table, by table,
// kept on the game's allocator object as the game's own maps are.
using FreezeHandlerEntries =
    std::unordered_map<CodeAddress, CodeAddress, std::hash<CodeAddress>, std::equal_to<CodeAddress>,
                       host::GameAllocator<std::pair<const CodeAddress, CodeAddress>>>;
extern FreezeHandlerEntries FreezeHandlerSaved;

// The replacement: hides "Tarvek Menu" open and close events from FreezeEventHandler,
// passes on the rest to the table's saved entry.
host::EventResult HOST_THISCALL FreezeHandlerFilter(void* sink, host::MenuOpenCloseEvent* event, void* source);

struct FreezeFilterPatch {
    // The marker menu's interned name, made when the patch is installed: the filter then
    // only compares handles.
    static host::FixedString markerMenuName;

    // Routes every "class FreezeEventHandler" sink of `source` (its table once, however
    // many sinks share it) through FreezeHandlerFilter. False when none was routed.
    static bool Install(host::EventSourceBase* source);
};

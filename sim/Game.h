#pragma once
// The stand-in game's running state and the host table it exports to the plugin.

#include "host/HostTable.h"
#include "sim/EventSource.h"

namespace sim {

// The handle value that means "no actor". Not 0, so that a plugin comparing with a
// literal instead of the host's value shows up in tests.
inline constexpr host::ActorHandle kEmptyHandle = 0x000FFFFF;

struct Game {
    TypedEventSource<host::TESMagicEffectApplyEvent> magicEffectApplied;
    TypedEventSource<host::TESDeathEvent> deaths;
    host::ActorHandle emptyHandle = kEmptyHandle;
};

Game& TheGame();

// The table this host exports; tests may clear entries to play a host that lacks them.
host::HostTable& HostTable();
// Withdraws the export (a host without a binding) or restores it.
void ExportHostTable(bool exported);

}  // namespace sim

extern "C" __declspec(dllexport) host::HostTable* VeldrinHostTable;

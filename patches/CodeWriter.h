#pragma once
// The five changes to the running game: the per-frame call, the target-update entry,
// two forced branches, and the FreezeEventHandler filter. Installed once, never removed.

#include <cstdint>
#include <string>
#include <unordered_map>

#include "host/CallingConventions.h"
#include "host/Events.h"
#include "host/GameAllocator.h"

using CodeAddress = std::uintptr_t;

// Routine the frame trampoline runs before the host's own callee: (host object, address of
// the host's return-address slot).
using FrameHook = void (*)(void* hostObject, void* returnSlot);

extern "C" {
extern FrameHook FrameHookTarget;
extern CodeAddress FrameHookNext;  // the host's own callee of the per-frame call
// Where the forced branches resume, from the host table at install time.
extern CodeAddress ForcedBranchATakenAddress;
extern CodeAddress ForcedBranchAFallThroughAddress;
extern CodeAddress ForcedBranchBTakenAddress;
extern CodeAddress ForcedBranchBFallThroughAddress;

// Hand-written x86 (tracking/PatchThunks.S): reached only from patched host code.
void FrameTrampoline();
void LockedTargetUpdate();
void ForcedBranchA();
void ForcedBranchB();
}

// The previous ReceiveEvent entry of each patched FreezeEventHandler table, kept on the
// game's allocator object as the game's own maps are.
using FreezeHandlerEntries =
    std::unordered_map<CodeAddress, CodeAddress, std::hash<CodeAddress>, std::equal_to<CodeAddress>,
                       host::GameAllocator<std::pair<const CodeAddress, CodeAddress>>>;
extern FreezeHandlerEntries FreezeHandlerSaved;

// Writes a 5-byte relative jump at `site`: both parts or neither. Returns the old
// instruction's destination, or site + 5 when the site could not be made writable.
CodeAddress WriteRelativeJump(CodeAddress site, CodeAddress target);
// Points the host's per-frame call at FrameTrampoline; FrameHookNext is set to the host's
// own callee before the call changes. Returns that callee (site + 5 when nothing changed).
CodeAddress HookFrameCall();
// Replaces the host's target-update entry, keeping the old one in LockState.savedSlotEntry
// (0 when the entry could not be made writable).
void InstallLockedTargetUpdate();
// Jumps from both branch sites into ForcedBranchA and ForcedBranchB.
void InstallForcedBranches();
// Routes the ReceiveEvent of every "class FreezeEventHandler" sink of `source` through
// FreezeHandlerFilter.
void HookFreezeEventHandler(host::EventSourceBase* source);

// Hides "Tarvek Menu" open and close events from FreezeEventHandler; passes on the rest.
host::EventResult HOST_THISCALL FreezeHandlerFilter(void* sink, host::MenuOpenCloseEvent* event, void* source);

// A sink's dynamic type name, read without trusting the object: "<no rtti>" when it has
// no type information this plugin can read.
std::string SinkTypeName(void* sink);

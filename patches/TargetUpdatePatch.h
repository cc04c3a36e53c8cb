#pragma once
// The game's target-update entry (a virtual-table slot), replaced by LockedTargetUpdate:
// while a target is locked the game's object follows the lock; otherwise the game's own
// entry runs, as if nothing had changed.

#include "host/PatchedRecords.h"
#include "patches/CodeWriter.h"

extern "C" {
// TargetUpdatePatch.S: called by the game as a method (object in ECX, one 4-byte stack
// argument it pops, byte result in AL).
void LockedTargetUpdate();
// For LockedTargetUpdate: 1 to answer true, 0 to answer false, otherwise the game's own
// entry to continue in.
CodeAddress LockedTargetDecide(host::TargetUpdateObject* object);
}

struct TargetUpdatePatch {
    // The game's own entry, once replaced; 0 before, or when nothing was replaced.
    static CodeAddress savedSlotEntry;

    // False, and the table as it was, when the slot holds no code address or its page
    // refuses to be written.
    static bool Install();
};

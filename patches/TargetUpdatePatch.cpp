#include "patches/TargetUpdatePatch.h"

#include "host/Host.h"
#include "targeting/LockState.h"

CodeAddress TargetUpdatePatch::savedSlotEntry = 0;

extern "C" CodeAddress LockedTargetDecide(host::TargetUpdateObject* object) {
    // The menu pointer and its handle are read once each: the menu may close meanwhile.
    const TargetLock* menu = ReadMarkerMenu();
    const host::ActorHandle target = menu != nullptr ? menu->targetHandle : host::EmptyHandle();
    if (menu == nullptr || target == host::EmptyHandle()) return TargetUpdatePatch::savedSlotEntry;
    if (object->targetHandle == target) return 0;
    object->targetHandle = target;
    object->targetChanged = 1;
    return 1;
}

bool TargetUpdatePatch::Install() {
    const host::HostTable* t = host::Table();
    const CodeAddress slot = t ? t->TargetUpdateSlot : 0;
    if (slot == 0 || !Readable(slot, sizeof(CodeAddress))) return false;
    // Never keep ourselves as the game's entry.
    if (WordAt(slot) == AddressOf(&LockedTargetUpdate)) return true;
    return ReplaceTableEntry(slot, AddressOf(&LockedTargetUpdate), &savedSlotEntry).has_value();
}

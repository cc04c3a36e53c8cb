#include "targeting/LockState.h"

#include "host/Host.h"

LockStateRecord LockState;

TargetLock::TargetLock() : targetHandle(host::EmptyHandle()) {}

bool IsTargetLocked() {
    const TargetLock* menu = LockState.markerMenu;
    return menu != nullptr && menu->targetHandle != host::EmptyHandle();
}

void ReleaseTarget(TargetLock& lock) {
    host::SpinLockGuard guard(lock.stateLock);
    lock.targetHandle = host::EmptyHandle();
    lock.visitedSet.clear();
}

#include "targeting/LockState.h"

#include <atomic>

#include "host/Host.h"

LockStateRecord LockState;

TargetLock::TargetLock() : targetHandle(host::EmptyHandle()) { visitedSet.reserve(kVisitedSetRoom); }

TargetLock* ReadMarkerMenu() {
    return std::atomic_ref<TargetLock*>(LockState.markerMenu).load(std::memory_order_relaxed);
}

bool IsTargetLocked() {
    const TargetLock* menu = ReadMarkerMenu();
    return menu != nullptr && menu->targetHandle != host::EmptyHandle();
}

void ReleaseTarget(TargetLock& lock) {
    host::SpinLockGuard guard(lock.stateLock);
    lock.targetHandle = host::EmptyHandle();
    lock.visitedSet.clear();
}

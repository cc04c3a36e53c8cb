#pragma once
// Where the lock lives. LockState is how the targeting, tracking, patch and marker code
// find each other; the lock itself belongs to the open marker menu.

#include <cstddef>
#include <cstdint>
#include <unordered_set>

#include "host/Forms.h"
#include "host/SpinLock.h"

// Handles the visited set has room for from the start: a command then allocates its
// candidate list and at most one handle, never a larger table for the set.
inline constexpr std::size_t kVisitedSetRoom = 256;

// The marker menu's lock and marker fields, in the order the menu holds them: the menu
// class takes them as its last base, after the host's menu and the three sinks.
struct TargetLock {
    TargetLock();  // nothing locked, room for kVisitedSetRoom visited handles

    host::ActorHandle targetHandle;  // the host's EmptyHandle when nothing is locked
    double markerX = 0.0;            // marker offset from the screen centre, right positive
    double markerY = 0.0;            // down positive
    double markerDistance = 0.0;     // camera to aim point, game units
    bool markerShown = false;
    std::unordered_set<host::ActorHandle> visitedSet;  // given by the switch command since the last reset
    host::RecursiveSpinLock stateLock;                 // guards targetHandle writes and every visitedSet use
};

struct LockStateRecord {
    TargetLock* markerMenu;  // the open marker menu's lock; null while it is closed
    float rightStickX;       // last right-thumbstick deflection
    float rightStickY;
};

extern LockStateRecord LockState;

// The open marker menu's lock, read once: another thread may open or close the menu
// meanwhile, so a reader keeps what it read instead of reading the record again.
TargetLock* ReadMarkerMenu();

// True when the marker menu is open and holds a target. Reads without the lock. Called
// from hand-written x86 too, hence its C name.
extern "C" bool IsTargetLocked();

// The one way a lock ends: no target, nothing visited.
void ReleaseTarget(TargetLock& lock);

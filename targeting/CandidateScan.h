#pragma once
// Which living actors could be locked now, nearest the centre of view first.

#include <vector>

#include "host/Forms.h"

struct TargetCandidate {
    double angularDistance;  // radians from the centre of view
    host::Actor* actor;      // not counted: valid only within the event that scanned
};

// Whether the player's line of sight to the actor is asked: a lock is taken only on an
// actor in sight, and kept on one that has gone behind something.
enum class SightTest { kInSight, kNotAsked };

// Whether `actor` may be the player's target: an actor, its 3D loaded, alive, in sight
// when asked, hostile when only hostile ones count, not essential when those are ignored.
// The cheapest tests come first.
bool Qualifies(host::Actor& player, host::Actor& actor, SightTest sight);

// The player states in which no lock may be taken or kept.
bool PlayerBlocksTargeting(const host::Actor& player);

// Appends every actor in view that qualifies; leaves `list` as it was when the game's
// state allows no scan.
void CollectCandidates(std::vector<TargetCandidate>& list);
// Nearest first; equal distances by the actor's address.
void SortCandidates(std::vector<TargetCandidate>& list);

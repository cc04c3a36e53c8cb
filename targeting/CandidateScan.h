#pragma once
// Which living actors could be locked now, nearest the centre of view first.

#include <vector>

#include "host/Forms.h"

struct TargetCandidate {
    double angularDistance;  // radians from the centre of view
    host::Actor* actor;      // not counted: valid only within the event that scanned
};

// The player states in which no lock may be taken or kept.
bool PlayerBlocksTargeting(const host::Actor& player);

// Appends every actor in view that qualifies; leaves `list` as it was when the game's
// state allows no scan.
void CollectCandidates(std::vector<TargetCandidate>& list);
// Nearest first; equal distances by the actor's address.
void SortCandidates(std::vector<TargetCandidate>& list);

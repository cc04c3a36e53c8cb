#pragma once
// Worlds that the allocation tests and the benchmarks share: a target locked in the open
// marker menu, and a crowd of actors of which half can be locked.

#include <cstddef>

#include "host/Forms.h"
#include "sim/game/World.h"
#include "targeting/LockState.h"

namespace scenes {

// A new world as every test starts from: the game lets the player turn, a 1920 × 1080
// display not yet read, no marker menu open, no stick deflection.
sim::World& FreshWorld();

enum class View { kFirstPerson, kThirdPerson };
// Where the update finds the target's aim node: the race's skeleton path through the
// aim-point table, or the race's own first body part.
enum class AimSource { kSkeletonTable, kBodyPart };

const char* Name(View view);
const char* Name(AimSource source);

// A hostile humanoid right of and below the centre of a turned, pitched (and in first
// person rolled) view, locked in a marker menu that is open. The player is turned back to
// where the scene began with Restore(), so every frame steers by the same amounts.
class LockedScene {
public:
    LockedScene(sim::World& world, View view, AimSource source);
    ~LockedScene();
    LockedScene(const LockedScene&) = delete;
    LockedScene& operator=(const LockedScene&) = delete;

    void Restore();

    sim::World& world;
    const View view;
    const AimSource source;
    sim::SimActor& target;
    TargetLock lock;

private:
    host::NiPoint3 startRotation_;
    float startHeadingOffset_, startPitchOffset_;
};

// Adds `count` actors spread over the view, and returns how many of them a scan accepts.
// Of every ten, in an order that changes from ten to ten: a dead one, one without 3D, one
// behind a wall, one behind the camera, one beyond MaxDistance; and five that qualify,
// aimed at through the male skeleton path (twice), the female one, the body part, and
// the host's fallback (a skeleton not in the table).
std::size_t AddCrowd(sim::World& world, std::size_t count);

}  // namespace scenes

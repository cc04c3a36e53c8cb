#pragma once
// The product's measuring and steering calls with the player and the camera fetched from
// the host first, as a frame does: for tests that set up only a world.

#include "host/Host.h"
#include "targeting/Geometry.h"
#include "tracking/Steering.h"

namespace test {

inline host::NiPoint3 CameraPosition(const host::PlayerCamera& camera) {
    host::PlayerCharacter* player = host::Player();
    return player ? GetCameraPosition(camera, *player) : host::NiPoint3{};
}

inline CameraAngles CameraView(const host::PlayerCamera& camera) {
    const host::PlayerCharacter* player = host::Player();
    return player ? GetCameraAngles(camera, *player) : CameraAngles{};
}

// The turn toward `aimPoint` measured from the camera; `angles` unchanged without a camera
// or a player.
inline void ComputeAimAngles(const host::NiPoint3& aimPoint, AimAngles& angles) {
    host::PlayerCamera* camera = host::GetPlayerCamera();
    host::PlayerCharacter* player = host::Player();
    if (camera == nullptr || player == nullptr) return;
    const SteeringView view{camera, *player};
    angles = ComputeAimAngles(view, MeasureAim(GetCameraPosition(*camera, *player), aimPoint));
}

inline void ApplySteering(const AimAngles& angles) {
    host::PlayerCharacter* player = host::Player();
    if (player == nullptr) return;
    ApplySteering(SteeringView{host::GetPlayerCamera(), *player}, angles);
}

}  // namespace test

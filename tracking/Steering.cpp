#include "tracking/Steering.h"

#include <cmath>

#include "host/Host.h"
#include "settings/Settings.h"
#include "targeting/Geometry.h"
#include "targeting/LockState.h"

namespace {

bool GamepadEnabled() {
    host::InputEventDispatcher* dispatcher = host::GetInputEventDispatcher();
    if (dispatcher == nullptr || dispatcher->gamepadDevice == nullptr) return false;
    return host::CallOr<&host::HostTable::IsGamepadEnabled>(false, dispatcher->gamepadDevice);
}

std::uint8_t HostFlag(std::uint8_t* host::HostTable::*flag) {
    const host::HostTable* t = host::Table();
    return t && t->*flag ? *(t->*flag) : 0;
}

}  // namespace

void ComputeAimAngles(const SteeringView& view, const host::NiPoint3& aimPoint, AimAngles& angles) {
    const host::NiPoint3& eye = view.eye;
    const float dx = aimPoint.x - eye.x, dy = aimPoint.y - eye.y, dz = aimPoint.z - eye.z;
    const float horizontal = SingleSqrt(dx * dx + dy * dy);
    const float wantedHeading = SingleAtan2(dx, dy);
    const float wantedPitch = SingleAtan2(-dz, horizontal);
    const float distance = SingleSqrt(horizontal * horizontal + dz * dz);

    double headingDelta = static_cast<double>(wantedHeading) - view.player.rotation.z;
    double pitchDelta = static_cast<double>(wantedPitch) - view.player.rotation.x;
    if (GamepadEnabled()) {
        const double offsetAngle =
            static_cast<float>(std::atan2(kStickOffsetUnits, static_cast<double>(distance)));
        headingDelta += LockState.rightStickX * offsetAngle;
        const double vertical = LockState.rightStickY * offsetAngle;
        pitchDelta += HostFlag(&host::HostTable::InvertLookYFlag) ? vertical : -vertical;
    }
    angles.headingDelta = WrapToPi(headingDelta);
    angles.pitchDelta = WrapToPi(pitchDelta);
    angles.distance = distance;
}

void ApplySteering(const SteeringView& view, const AimAngles& angles) {
    if (HostFlag(&host::HostTable::SteeringGateFlag) == 0) return;
    host::PlayerCamera* camera = view.camera;
    host::PlayerCharacter* player = &view.player;

    const double divisor =
        static_cast<double>(static_cast<std::uint32_t>(gSettings.CameraSpeed)) * kSteeringFramesPerSecond /
        kSteeringSpeedScale;
    const double heading = WrapToTurn(angles.headingDelta / divisor + player->rotation.z);
    const double pitch = WrapToPi(angles.pitchDelta / divisor + player->rotation.x);
    // A rotation that is not a number is never handed to the game: it would stay in the
    // player's record, and in the saved game, for good.
    if (!std::isfinite(heading) || !std::isfinite(pitch)) return;

    // In third person the camera then looks exactly along the player's heading and pitch.
    host::TESCameraState* thirdPerson = camera ? camera->states[host::kCameraStateThirdPerson] : nullptr;
    if (thirdPerson != nullptr && camera->currentState == thirdPerson) {
        auto* state = static_cast<host::ThirdPersonState*>(thirdPerson);
        state->headingOffset = 0.0f;
        state->pitchOffset = 0.0f;
    }
    host::Call<&host::HostTable::SetActorHeading>(player, static_cast<float>(heading));
    host::Call<&host::HostTable::SetActorPitch>(player, static_cast<float>(pitch));
}

void ComputeAimAngles(const host::NiPoint3& aimPoint, AimAngles& angles) {
    host::PlayerCamera* camera = host::GetPlayerCamera();
    host::PlayerCharacter* player = host::Player();
    if (camera == nullptr || player == nullptr) return;
    ComputeAimAngles({camera, *player, GetCameraPosition(*camera, *player)}, aimPoint, angles);
}

void ApplySteering(const AimAngles& angles) {
    if (HostFlag(&host::HostTable::SteeringGateFlag) == 0) return;
    host::PlayerCamera* camera = host::GetPlayerCamera();
    host::PlayerCharacter* player = host::Player();
    if (player == nullptr) return;
    ApplySteering({camera, *player, {}}, angles);  // steering needs no camera position
}

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

AimAngles ComputeAimAngles(const SteeringView& view, const AimMeasurement& aim) {
    double headingDelta = static_cast<double>(aim.heading) - view.player.rotation.z;
    double pitchDelta = static_cast<double>(aim.pitch) - view.player.rotation.x;
    if (GamepadEnabled()) {
        const double offsetAngle = static_cast<float>(std::atan2(kStickOffsetUnits, static_cast<double>(aim.range)));
        headingDelta += LockState.rightStickX * offsetAngle;
        const double vertical = LockState.rightStickY * offsetAngle;
        pitchDelta += HostFlag(&host::HostTable::InvertLookYFlag) ? vertical : -vertical;
    }
    return {WrapToPi(headingDelta), WrapToPi(pitchDelta), aim.range};
}

void ApplySteering(const SteeringView& view, const AimAngles& angles) {
    if (HostFlag(&host::HostTable::SteeringGateFlag) == 0) return;
    host::PlayerCamera* camera = view.camera;
    host::PlayerCharacter* player = &view.player;

    const double divisor = static_cast<double>(static_cast<std::uint32_t>(gSettings.CameraSpeed)) *
                           kSteeringFramesPerSecond / kSteeringSpeedScale;
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

#pragma once
// Turning the player toward the locked target a fraction of the way every frame. The
// camera follows the player's rotation, so steering sets the player's heading and pitch.

#include "host/Camera.h"
#include "host/Forms.h"
#include "targeting/Geometry.h"

struct AimAngles {
    double headingDelta;  // wanted heading minus the player's, wrapped into [-π, π]
    double pitchDelta;    // wanted pitch minus the player's, wrapped into [-π, π]
    double distance;      // camera to aim point, game units
};

// The right thumbstick shifts the aim by the angle this many units subtend at the target.
inline constexpr double kStickOffsetUnits = 128.0;
// CameraSpeed maps to a per-frame divisor: speed × 60 / 2000 (1.5 at 50, 60 at 2000).
inline constexpr double kSteeringFramesPerSecond = 60.0;
inline constexpr double kSteeringSpeedScale = 2000.0;

// What one frame's steering reads of the game, fetched once by the frame: the camera
// (may be null) and the player.
struct SteeringView {
    host::PlayerCamera* camera;
    host::PlayerCharacter& player;
};

// The turn still to make toward the aim point, measured from the camera: the player's own
// heading and pitch subtracted in double, the right thumbstick's offset added.
AimAngles ComputeAimAngles(const SteeringView& view, const AimMeasurement& aim);
// Turns the player a fraction of `angles` (by CameraSpeed), when the game allows it.
void ApplySteering(const SteeringView& view, const AimAngles& angles);

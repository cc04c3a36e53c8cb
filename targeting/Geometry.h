#pragma once
// Angles and positions the scan, the tracking update and the steering share. Headings
// run from +y toward +x; a positive pitch looks down. Radians throughout.

#include <cmath>

#include "host/Camera.h"
#include "host/Forms.h"
#include "host/Scene.h"

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr float kHalfPiFloat = 1.5707964f;
// |m[2][1] ∓ 1| below this: the first-person node looks straight up or down.
inline constexpr double kGimbalTolerance = 0.001;

// Degrees to radians, and half of a field of view given in degrees.
inline constexpr double kDegreesPerHalfTurn = 180.0;

// Single-precision forms: widened to double, the standard function, rounded to float.
// Inline, as the per-frame update and the scan run them for every target.
inline float SingleAtan2(float y, float x) {
    return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x)));
}
inline float SingleSqrt(float value) { return static_cast<float>(std::sqrt(static_cast<double>(value))); }

// Up to this many turns an angle is wrapped by repeated steps of 2π, as the game's own
// code does; beyond, such steps would take too long (and from about 1e16 change nothing).
inline constexpr double kSteppedTurns = 64;
// NaN for what cannot be wrapped; a huge angle reduced to less than one turn first.
double ReducedAngle(double angle);

// Subtracts 2π while above π, then adds 2π while below -π; ±π stay as they are. Ends at
// once for any input: a non-finite angle gives NaN, and one of more than a few dozen
// turns is first brought near zero by an exact remainder.
inline double WrapToPi(double angle) {
    if (!(std::fabs(angle) <= kSteppedTurns * kTwoPi)) angle = ReducedAngle(angle);
    while (angle > kPi) angle -= kTwoPi;
    while (angle < -kPi) angle += kTwoPi;
    return angle;
}
// The same into [0, 2π]: adds 2π while below 0, then subtracts 2π while above 2π.
inline double WrapToTurn(double angle) {
    if (!(std::fabs(angle) <= kSteppedTurns * kTwoPi)) angle = ReducedAngle(angle);
    while (angle < 0) angle += kTwoPi;
    while (angle > kTwoPi) angle -= kTwoPi;
    return angle;
}

// Half of a field of view of `degrees`, in radians: fov × π / 360, in double. Rounded to
// float it equals the float of fov / 180 × π / 2 for every float fov in (0, 360), checked
// for each one, so the scan's float half-angle and the marker's double one are one value.
inline double HalfFieldOfView(float degrees) { return static_cast<double>(degrees) * kPi / (2 * kDegreesPerHalfTurn); }

// What an eye (the camera, or the player) sees of an aim point, as the scan, the frame
// update and the steering all need it. The results must be bit-exact run after run and
// build after build (recorded sessions are compared byte for byte), so the rounding is
// fixed here and nowhere else:
// - every step is single precision (float, SSE: no x87 excess precision, no fused
//   multiply-add: the build says -mfpmath=sse -ffp-contract=off), in the order written;
// - a square root or an arc tangent is taken in double and rounded once to float
//   (SingleSqrt, SingleAtan2);
// - `distance` sums the squares before its one root; `range` is the same distance through
//   the rounded `horizontal`, as the marker and the steering measure it, and may differ
//   from `distance` in the last bit. Callers keep the one they were given.
// Callers subtract the view's angles themselves, in float (the scan) or in double (the
// marker and the steering).
struct AimMeasurement {
    float distance;  // sqrt((dy² + dx²) + dz²), d = aim point minus eye, each a float difference
    float heading;   // atan2(dx, dy): from +y toward +x
    float pitch;     // atan2(-dz, horizontal), horizontal = sqrt(dy² + dx²): positive looks down
    float range;     // sqrt(horizontal² + dz²)
};

inline AimMeasurement MeasureAim(const host::NiPoint3& eye, const host::NiPoint3& aim) {
    const float dx = aim.x - eye.x, dy = aim.y - eye.y, dz = aim.z - eye.z;
    const float horizontalSquared = dy * dy + dx * dx;
    const float horizontal = SingleSqrt(horizontalSquared);
    return {SingleSqrt(horizontalSquared + dz * dz), SingleAtan2(dx, dy), SingleAtan2(-dz, horizontal),
            SingleSqrt(horizontal * horizontal + dz * dz)};
}

struct CameraAngles {
    float pitch = 0;
    float roll = 0;
    float heading = 0;
};

// The node pitch, roll and heading a first-person world rotation encodes.
CameraAngles AnglesFromRotation(const host::NiMatrix3& rotation);

// Where the player camera is, by its current state; the player is the host's, passed by
// callers that have it at hand.
host::NiPoint3 GetCameraPosition(const host::PlayerCamera& camera, host::PlayerCharacter& player);
// Where it looks, by its current state.
CameraAngles GetCameraAngles(const host::PlayerCamera& camera, const host::PlayerCharacter& player);
// The point of an actor to aim at: its race's body-part node, else the aim-point
// table's node for its skeleton, else the host's own aim position.
host::NiPoint3 ResolveAimPoint(host::Actor& actor);

// The angle and projection arithmetic, and the steering it feeds, on any values at all:
// every input ends at once, finite inputs give finite answers or a refusal (NaN, which the
// callers drop), and nothing that is not a number is ever handed to the game.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "settings/Settings.h"
#include "support/FromTheHost.h"
#include "sim/game/Game.h"
#include "sim/game/World.h"
#include "targeting/Geometry.h"
#include "targeting/LockState.h"
#include "tracking/Steering.h"
#include "tracking/Tracking.h"

namespace {

void WrapsEndInRange(double angle) {
    const double wrapped = WrapToPi(angle), turned = WrapToTurn(angle);
    if (!std::isfinite(angle)) {
        fuzz::Require(std::isnan(wrapped) && std::isnan(turned));
        return;
    }
    fuzz::Require(wrapped >= -kPi && wrapped <= kPi);
    fuzz::Require(turned >= 0 && turned <= kTwoPi);
}

bool Finite(const host::NiMatrix3& m) {
    for (const auto& row : m.m)
        for (float value : row)
            if (!std::isfinite(value)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    WrapsEndInRange(in.Take<double>());
    WrapsEndInRange(in.Take<float>());

    const host::NiMatrix3 rotation = in.Take<host::NiMatrix3>();
    const CameraAngles angles = AnglesFromRotation(rotation);
    if (Finite(rotation) && std::fabs(rotation.m[2][1]) <= 1) {
        fuzz::Require(std::isfinite(angles.pitch) && std::isfinite(angles.roll));
        fuzz::Require(angles.heading >= 0 && angles.heading <= static_cast<float>(kTwoPi));
    }
    const double headingDelta = in.Take<double>(), pitchDelta = in.Take<double>(), range = in.Take<double>();
    ProjectMarker(headingDelta, pitchDelta, range, in.Take<float>(), in.Take<float>(),
                  {in.Take<std::uint32_t>(), in.Take<std::uint32_t>()});

    // Steering through the stand-in: the player, camera, sticks and settings as the input says.
    sim::World& world = sim::TheWorld();
    sim::SimActor& player = world.Player();
    player.rotation = {in.Take<float>(), 0, in.Take<float>()};
    const std::uint8_t switches = in.Take<std::uint8_t>();
    world.Camera().SetState(switches & 1 ? host::kCameraStateFirstPerson : host::kCameraStateThirdPerson);
    world.Camera().ThirdPerson().headingOffset = in.Take<float>();
    world.conditions.gamepad.enabled = (switches & 2) != 0;
    sim::TheGame().invertLookY = (switches & 4) ? 1 : 0;
    sim::TheGame().steeringGate = (switches & 8) ? 0 : 1;
    LockState.rightStickX = in.Take<float>();
    LockState.rightStickY = in.Take<float>();
    gSettings.CameraSpeed = static_cast<std::int32_t>(50 + in.Below(1951));
    const host::NiPoint3 aim = in.Take<host::NiPoint3>();

    world.session.rotations.clear();
    AimAngles steering{};
    test::ComputeAimAngles(aim, steering);
    test::ApplySteering(steering);
    for (const sim::RotationCall& call : world.session.rotations) fuzz::Require(std::isfinite(call.value));
    if (std::isfinite(steering.headingDelta)) fuzz::Require(std::fabs(steering.headingDelta) <= kPi);
    return 0;
}

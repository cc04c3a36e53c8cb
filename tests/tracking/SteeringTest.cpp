#include <gtest/gtest.h>

#include <cmath>

#include "support/FromTheHost.h"
#include "support/WorldFixture.h"
#include "targeting/Geometry.h"
#include "tracking/Steering.h"

namespace {

// Camera at (0, 0, 120) in third person; the player faces +y, level.
class Steering : public test::WorldTest {
protected:
    AimAngles Aim(host::NiPoint3 point) {
        AimAngles angles{};
        test::ComputeAimAngles(point, angles);
        return angles;
    }
    sim::SimActor& player() { return world->Player(); }
};

TEST_F(Steering, ATargetStraightAheadNeedsNoTurn) {
    const AimAngles angles = Aim({0, 800, 120});
    EXPECT_EQ(angles.headingDelta, 0.0);
    EXPECT_EQ(angles.pitchDelta, 0.0);
    EXPECT_EQ(angles.distance, 800.0);
    test::ApplySteering(angles);
    EXPECT_EQ(player().rotation.z, 0.0f);
    EXPECT_EQ(player().rotation.x, 0.0f);
}

TEST_F(Steering, EachFrameTurnsAFixedFractionSetByCameraSpeed) {
    const AimAngles behind = Aim({0, -800, 120});
    EXPECT_NEAR(std::fabs(behind.headingDelta), kPi, 1e-6);

    test::ApplySteering({kPi, 0.3, 0});  // default speed 50: two thirds per frame
    EXPECT_NEAR(player().rotation.z, 2.0 * kPi / 3.0, 1e-6);
    EXPECT_NEAR(player().rotation.x, 0.2, 1e-6);

    player().rotation = {};
    gSettings.CameraSpeed = 2000;  // one sixtieth
    test::ApplySteering({0.6, -0.06, 0});
    EXPECT_NEAR(player().rotation.z, 0.01, 1e-7);
    EXPECT_NEAR(player().rotation.x, -0.001, 1e-7);
}

TEST_F(Steering, HeadingIsWrappedIntoZeroToTwoPi) {
    player().rotation.z = 6.2f;
    test::ApplySteering({0.3, 0, 0});  // 6.2 + 0.2 passes 2π
    EXPECT_GE(player().rotation.z, 0.0f);
    EXPECT_NEAR(player().rotation.z, 6.4 - kTwoPi, 1e-6);

    player().rotation.z = 0.05f;
    test::ApplySteering({-0.3, 0, 0});  // 0.05 - 0.2 goes below 0
    EXPECT_NEAR(player().rotation.z, kTwoPi - 0.15, 1e-6);
}

TEST_F(Steering, HeadingThenPitchAreSetOnThePlayerAndThirdPersonOffsetsCleared) {
    world->Camera().ThirdPerson().headingOffset = 0.4f;
    world->Camera().ThirdPerson().pitchOffset = 0.2f;
    test::ApplySteering({0.15, 0.03, 0});
    ASSERT_EQ(world->session.rotations.size(), 2u);
    EXPECT_EQ(world->session.rotations[0].kind, sim::RotationCall::kHeading);
    EXPECT_EQ(world->session.rotations[1].kind, sim::RotationCall::kPitch);
    EXPECT_EQ(world->Camera().ThirdPerson().headingOffset, 0.0f);
    EXPECT_EQ(world->Camera().ThirdPerson().pitchOffset, 0.0f);

    world->Camera().SetState(host::kCameraStateFirstPerson);
    world->Camera().ThirdPerson().headingOffset = 0.4f;
    test::ApplySteering({0.15, 0.03, 0});
    EXPECT_EQ(world->Camera().ThirdPerson().headingOffset, 0.4f) << "only while in third person";
}

TEST_F(Steering, TheGateFlagHoldsTheRotation) {
    sim::TheGame().steeringGate = 0;
    test::ApplySteering({1.0, 0.5, 0});
    EXPECT_TRUE(world->session.rotations.empty());
    sim::TheGame().steeringGate = 1;
}

TEST_F(Steering, TheRightStickShiftsTheAimOnlyWithAnEnabledGamepad) {
    const host::NiPoint3 target = {0, 128, 120};  // 128 units away: the offset is atan2(128, 128)
    LockState.rightStickX = 1.0f;
    LockState.rightStickY = 1.0f;
    EXPECT_EQ(Aim(target).headingDelta, 0.0) << "no gamepad enabled";

    world->conditions.gamepad.enabled = true;
    const double quarter = static_cast<float>(std::atan2(128.0, 128.0));
    EXPECT_NEAR(Aim(target).headingDelta, kPi / 4, 1e-6);
    EXPECT_EQ(Aim(target).pitchDelta, -quarter);
    LockState.rightStickX = -1.0f;
    EXPECT_NEAR(Aim(target).headingDelta, -kPi / 4, 1e-6);

    sim::TheGame().invertLookY = 1;
    EXPECT_EQ(Aim(target).pitchDelta, quarter) << "inverted look reverses the vertical stick";
    sim::TheGame().invertLookY = 0;
}

TEST_F(Steering, NothingThatIsNotANumberReachesThePlayer) {
    world->Camera().ThirdPerson().headingOffset = 0.4f;
    for (const AimAngles& bad : {AimAngles{NAN, 0.1, 500}, AimAngles{0.1, INFINITY, 500}}) {
        test::ApplySteering(bad);
        EXPECT_TRUE(world->session.rotations.empty()) << "nothing is handed to the game";
        EXPECT_EQ(world->Camera().ThirdPerson().headingOffset, 0.4f) << "and the camera is left alone";
    }
    player().rotation.z = NAN;  // the game's own record is already broken: we do not add to it
    test::ApplySteering({0.1, 0.1, 500});
    EXPECT_TRUE(world->session.rotations.empty());
}

TEST_F(Steering, AHugeStickValueEndsTheFrameAtOnce) {
    world->conditions.gamepad.enabled = true;
    LockState.rightStickX = 3e38f;  // stepping 2π off this would never end
    const AimAngles angles = Aim({0, 800, 120});
    EXPECT_GE(angles.headingDelta, -kPi);
    EXPECT_LE(angles.headingDelta, kPi);
    test::ApplySteering(angles);
    ASSERT_EQ(world->session.rotations.size(), 2u);
    EXPECT_TRUE(std::isfinite(player().rotation.z));
    LockState.rightStickX = INFINITY;
    world->session.rotations.clear();
    test::ApplySteering(Aim({0, 800, 120}));
    EXPECT_TRUE(world->session.rotations.empty()) << "an infinite aim is not applied";
}

}  // namespace

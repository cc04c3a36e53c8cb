#include <gtest/gtest.h>

#include <cmath>

#include "support/FromTheHost.h"
#include "support/WorldFixture.h"
#include "targeting/Geometry.h"

namespace {

using test::WorldTest;

void ExpectPoint(host::NiPoint3 p, float x, float y, float z) {
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, y);
    EXPECT_EQ(p.z, z);
}

TEST(WrapToPi, BringsAnglesIntoMinusPiToPiAndLeavesTheEndsAlone) {
    EXPECT_EQ(WrapToPi(kPi), kPi);
    EXPECT_EQ(WrapToPi(-kPi), -kPi);
    EXPECT_DOUBLE_EQ(WrapToPi(1.5 * kPi), -0.5 * kPi);
    EXPECT_DOUBLE_EQ(WrapToPi(-1.5 * kPi), 0.5 * kPi);
    EXPECT_NEAR(WrapToPi(7 * kPi + 0.25), -kPi + 0.25, 1e-12);
    EXPECT_EQ(WrapToPi(0.5), 0.5);
}

// The game's own way: steps of 2π, as many as it takes.
double SteppedWrap(double angle) {
    while (angle > kPi) angle -= kTwoPi;
    while (angle < -kPi) angle += kTwoPi;
    return angle;
}

TEST(WrapToPi, EndsAtOnceForAnyAngleAndKeepsTheSteppedResultsNearby) {
    for (double angle : {0.25, -3.0, 7.0, -100.0, 123.456, 64 * kTwoPi, -64 * kTwoPi + 0.1})
        EXPECT_EQ(WrapToPi(angle), SteppedWrap(angle)) << angle << ": bit for bit as before";
    for (double huge : {1e20, -1e20, 3e38, -3.4e38, 1.7e308}) {
        const double wrapped = WrapToPi(huge);  // stepping would never end: 1e20 - 2π == 1e20
        EXPECT_GE(wrapped, -kPi) << huge;
        EXPECT_LE(wrapped, kPi) << huge;
    }
    EXPECT_TRUE(std::isnan(WrapToPi(INFINITY)));
    EXPECT_TRUE(std::isnan(WrapToPi(-INFINITY)));
    EXPECT_TRUE(std::isnan(WrapToPi(NAN)));

    EXPECT_EQ(WrapToTurn(-0.5), kTwoPi - 0.5);
    EXPECT_EQ(WrapToTurn(kTwoPi), kTwoPi);
    const double turned = WrapToTurn(-1e20);
    EXPECT_GE(turned, 0.0);
    EXPECT_LE(turned, kTwoPi);
    EXPECT_TRUE(std::isnan(WrapToTurn(INFINITY)));
}

TEST(HalfFieldOfView, RoundedToFloatIsTheScansFormerAngleForEveryFieldOfView) {
    // The scan once computed its float half-angle as fov / 180 × π / 2, the marker its double
    // one as fov × π / 360: one function now serves both, which is exact only because the
    // two round to the same float. Every 64th float from 0.5° to 360° is checked.
    int checked = 0;
    constexpr int kStride = 64;
    for (float fov = 0.5f; fov < 360.0f; ++checked) {
        const auto former = static_cast<float>(static_cast<double>(fov) / kDegreesPerHalfTurn * kPi * 0.5);
        ASSERT_EQ(static_cast<float>(HalfFieldOfView(fov)), former) << fov;
        for (int step = 0; step < kStride; ++step) fov = std::nextafter(fov, 360.0f);
    }
    EXPECT_GT(checked, 1000000);
    EXPECT_EQ(HalfFieldOfView(90.0f), kPi / 4);
}

TEST(FirstPersonRotation, GimbalCasesTakeTheHeadingFromTheFirstColumn) {
    // Looking straight up: m[2][1] within 0.001 of 1.
    host::NiMatrix3 up = sim::FirstPersonRotation(0.5f, static_cast<float>(kPi / 2));
    up.m[2][1] = 0.9995f;
    CameraAngles angles = AnglesFromRotation(up);
    EXPECT_EQ(angles.pitch, kHalfPiFloat);
    EXPECT_EQ(angles.roll, 0.0f);
    EXPECT_FLOAT_EQ(angles.heading, 0.5f);

    host::NiMatrix3 down = sim::FirstPersonRotation(5.0f, static_cast<float>(-kPi / 2));
    down.m[2][1] = -1.0f;
    angles = AnglesFromRotation(down);
    EXPECT_EQ(angles.pitch, -kHalfPiFloat);
    EXPECT_NEAR(angles.heading, 5.0f, 1e-5) << "raised into [0, 2π]";
}

TEST(FirstPersonRotation, GeneralCaseReadsPitchRollAndHeading) {
    const CameraAngles angles = AnglesFromRotation(sim::FirstPersonRotation(2.0f, 0.3f));
    EXPECT_NEAR(angles.pitch, 0.3f, 1e-6);
    EXPECT_NEAR(angles.roll, 0.0f, 1e-6);
    EXPECT_NEAR(angles.heading, 2.0f, 1e-6);
    EXPECT_NEAR(AnglesFromRotation(sim::FirstPersonRotation(-1.0f, 0)).heading, kTwoPi - 1.0, 1e-6);
}

class CameraGeometry : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        player().position = {10, 20, 30};
        player().rotation = {0.25f, 0.5f, 1.0f};
        player().fallbackAim = {11, 22, 150};
        camera().cameraRoot->worldTranslation = {1, 2, 3};
        camera().firstPersonNode->localTranslation.z = 110;
        camera().ThirdPerson().cameraPosition = {-5, -50, 170};
        camera().ThirdPerson().headingOffset = 0.125f;
        camera().ThirdPerson().pitchOffset = -0.0625f;
    }
    sim::SimActor& player() { return world->Player(); }
    sim::SimCamera& camera() { return world->Camera(); }
};

TEST_F(CameraGeometry, FirstPersonPositionFallsBackFromRootToNodeToHost) {
    camera().SetState(host::kCameraStateFirstPerson);
    ExpectPoint(test::CameraPosition(camera()), 1, 2, 3);
    camera().cameraRoot = nullptr;
    ExpectPoint(test::CameraPosition(camera()), 10, 20, 140);
    camera().firstPerson.node = nullptr;
    ExpectPoint(test::CameraPosition(camera()), 11, 22, 150);
}

TEST_F(CameraGeometry, ThirdPersonAndOtherStatePositions) {
    ExpectPoint(test::CameraPosition(camera()), -5, -50, 170);
    camera().SetState(5);
    ExpectPoint(test::CameraPosition(camera()), 10, 20, 150);
}

TEST_F(CameraGeometry, AnglesFollowTheState) {
    camera().firstPersonNode->worldRotate = sim::FirstPersonRotation(1.5f, 0.2f);
    camera().SetState(host::kCameraStateFirstPerson);
    CameraAngles angles = test::CameraView(camera());
    EXPECT_NEAR(angles.pitch, 0.25f - 0.2f, 1e-6) << "player pitch minus the node's";
    EXPECT_NEAR(angles.heading, 1.5f, 1e-6);

    camera().SetState(host::kCameraStateThirdPerson);
    angles = test::CameraView(camera());
    EXPECT_EQ(angles.pitch, 0.25f - 0.0625f);
    EXPECT_EQ(angles.roll, 0.0f);
    EXPECT_EQ(angles.heading, 1.125f);

    camera().SetState(2);
    angles = test::CameraView(camera());
    EXPECT_EQ(angles.pitch, 0.25f);
    EXPECT_EQ(angles.roll, 0.5f);
    EXPECT_EQ(angles.heading, 1.0f);
}

class AimPoints : public WorldTest {};

TEST_F(AimPoints, BodyPartNodeFirstThenTheSkeletonTableThenTheHost) {
    sim::ActorSetup setup;
    setup.nodes = {{"NPC Spine2 [Spn2]", {0, 0, 100}}, {"Chest", {0, 0, 90}}};
    setup.bodyPartNode = "Chest";
    sim::SimActor& actor = AddActor({100, 200, 0}, setup);
    ExpectPoint(ResolveAimPoint(actor), 100, 200, 90);

    actor.bodyPartData.firstPart = nullptr;  // no usable body part: the table's node
    ExpectPoint(ResolveAimPoint(actor), 100, 200, 100);

    actor.loaded = false;  // no 3D: the host's own position
    ExpectPoint(ResolveAimPoint(actor), 100, 200, 80);
    actor.loaded = true;
    actor.race = nullptr;
    ExpectPoint(ResolveAimPoint(actor), 100, 200, 80);
    ExpectReferencesBalanced();
}

TEST_F(AimPoints, TheTableIsKeyedByTheSkeletonOfTheActorsSex) {
    sim::ActorSetup netch;
    netch.malePath = "Actors\\DLC02\\Netch\\NetchProject.hkx";
    netch.nodes = {{"NetchPelvis [Pelv]", {0, 0, 40}}};
    ExpectPoint(ResolveAimPoint(AddActor({0, 0, 0}, netch)), 0, 0, 40);

    sim::ActorSetup female;
    female.female = true;
    female.malePath = "actors\\unknown\\male.hkx";  // would miss: the female path must be used
    female.nodes = {{"NPC Spine2 [Spn2]", {0, 0, 95}}};
    ExpectPoint(ResolveAimPoint(AddActor({0, 0, 0}, female)), 0, 0, 95);
}

TEST_F(AimPoints, UnknownOrMalformedSkeletonsEndAtTheHostPosition) {
    for (const char* path : {"actors\\mymod\\newcreature.hkx", "actors/character/defaultmale.hkx", ""}) {
        sim::ActorSetup setup;
        setup.malePath = path;
        EXPECT_EQ(ResolveAimPoint(AddActor({0, 0, 0}, setup)).z, 80.0f) << path;
    }
    sim::ActorSetup lacksNode;  // in the table, but the model has no such node
    lacksNode.nodes = {{"Some Other Node", {0, 0, 10}}};
    EXPECT_EQ(ResolveAimPoint(AddActor({0, 0, 0}, lacksNode)).z, 80.0f);
}

}  // namespace

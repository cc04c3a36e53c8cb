#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "host/Host.h"
#include "sim/game/Heaps.h"
#include "support/AllocationCounter.h"
#include "support/WorldFixture.h"
#include "targeting/Geometry.h"
#include "tracking/Tracking.h"

namespace {

TEST(MarkerProjection, TheWorkedValue) {
    const MarkerPosition full = ProjectMarker(0.1, 0.05, 1000, 0.0f, 65.0f, {1920, 1080});
    EXPECT_NEAR(full.x, 70.96, 0.005);
    EXPECT_NEAR(full.y, 37.89, 0.005);
    const MarkerPosition small = ProjectMarker(0.1, 0.05, 1000, 0.0f, 65.0f, {1280, 720});
    EXPECT_EQ(small.x, full.x) << "X depends on the aspect only";
    EXPECT_EQ(small.y, full.y);
}

TEST(MarkerProjection, CentreBehindAndRoll) {
    const MarkerPosition centre = ProjectMarker(0, 0, 500, 0.0f, 65.0f, {1920, 1080});
    EXPECT_EQ(centre.x, 0.0);
    EXPECT_EQ(centre.y, 0.0);

    const MarkerPosition ahead = ProjectMarker(0.2, 0.1, 500, 0.0f, 65.0f, {1920, 1080});
    const MarkerPosition behind = ProjectMarker(0.2 + kPi, 0.1, 500, 0.0f, 65.0f, {1920, 1080});
    EXPECT_NEAR(behind.x, ahead.x, 1e-9) << "F < 0 mirrors through the centre, nothing clipped";
    EXPECT_NEAR(behind.y, -ahead.y, 1e-9);

    const auto quarterTurn = static_cast<float>(kPi / 2);
    const MarkerPosition rolled = ProjectMarker(0.2, 0.0, 500, quarterTurn, 65.0f, {1000, 1000});
    const MarkerPosition unrolled = ProjectMarker(0.2, 0.0, 500, 0.0f, 65.0f, {1000, 1000});
    EXPECT_NEAR(rolled.x, 0.0, 1e-4) << "a quarter roll turns right into down";
    EXPECT_NEAR(rolled.y, unrolled.x * 480.0 / 800.0, 1e-3);
}

TEST(MarkerProjection, RollTurnsRightAndDownTogether) {
    // A target both right of and below the centre: the roll mixes the two.
    const double headingDelta = 0.2, pitchDelta = 0.1, range = 500;
    const float roll = 0.3f;
    const double right = range * std::sin(headingDelta), down = range * std::sin(pitchDelta);
    const double forward = range * std::cos(headingDelta) * std::cos(pitchDelta);
    const double c = static_cast<float>(std::cos(0.3f)), s = static_cast<float>(std::sin(0.3f));
    const double k = 1.0 / std::tan(65.0 * kPi / 360.0);
    const MarkerPosition rolled = ProjectMarker(headingDelta, pitchDelta, range, roll, 65.0f, {1000, 1000});
    EXPECT_DOUBLE_EQ(rolled.x, (right * c - s * down) / forward * k * 800.0);
    EXPECT_DOUBLE_EQ(rolled.y, (down * c + s * right) / forward * k * 480.0);
    const MarkerPosition back = ProjectMarker(headingDelta, pitchDelta, range, -roll, 65.0f, {1000, 1000});
    EXPECT_GT(rolled.y, back.y) << "a positive roll carries a target on the right downward";
}

// A target locked in the open marker menu, 600 units ahead of the camera.
class TrackingUpdate : public test::WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        target = &AddActor({30, 600, 20});
        lock.targetHandle = target->handle;
        lock.visitedSet = {target->handle};
        LockState.markerMenu = &lock;
    }
    void Frame() { UpdateTracking(nullptr, nullptr); }
    bool Locked() const { return lock.targetHandle == target->handle; }

    TargetLock lock;
    sim::SimActor* target = nullptr;
};

TEST_F(TrackingUpdate, ProjectsTheMarkerAndSteersWhileTheTargetQualifies) {
    Frame();
    EXPECT_TRUE(Locked());
    EXPECT_GT(lock.markerX, 0.0) << "the target stands right of centre";
    EXPECT_NEAR(lock.markerY, 0.0, 1e-9);
    EXPECT_NEAR(lock.markerDistance, std::hypot(30.0, 600.0), 1e-3);
    ASSERT_EQ(world->session.rotations.size(), 2u);
    EXPECT_NEAR(world->Player().rotation.z, std::atan2(30.0, 600.0) * 2 / 3, 1e-6);
    const double firstX = lock.markerX;
    Frame();
    EXPECT_LT(lock.markerX, firstX) << "the view has turned toward the target";
    ExpectReferencesBalanced();
}

// Each case of a parameterised test has a name of its own, in the test list and in
// failure messages.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// A check the update makes every frame, made to fail.
struct FailedCheck {
    const char* name;
    void (*fail)(sim::World& world, sim::SimActor& target);
};
void PrintTo(const FailedCheck& check, std::ostream* out) { *out << check.name; }

class TrackingFailedCheck : public TrackingUpdate, public ::testing::WithParamInterface<FailedCheck> {};

TEST_P(TrackingFailedCheck, EndsTheLockOnTheNextFrame) {
    Frame();
    ASSERT_TRUE(Locked());
    GetParam().fail(*world, *target);
    world->session.rotations.clear();
    Frame();
    EXPECT_EQ(lock.targetHandle, sim::kEmptyHandle);
    EXPECT_TRUE(lock.visitedSet.empty());
    EXPECT_TRUE(world->session.rotations.empty()) << "no steering once released";
    ExpectReferencesBalanced();
}

const FailedCheck kFailedChecks[] = {
    {"Dies", [](sim::World&, sim::SimActor& target) { target.dead = true; }},
    {"LosesIts3D", [](sim::World&, sim::SimActor& target) { target.loaded = false; }},
    {"Unloads", [](sim::World& world, sim::SimActor& target) { world.Unload(target); }},
    {"PlayerInteractionExtra",
     [](sim::World& world, sim::SimActor&) {
         world.Player().flagWord = host::kActorFlagHasExtraInteraction;
         world.Player().extra.bits[21] = 0x02;
     }},
    {"PlayerFlagScanBlocked",
     [](sim::World& world, sim::SimActor&) { world.Player().flagWord = host::kActorFlagScanBlocked; }},
    {"PlayerStateInTheBusyRange", [](sim::World& world, sim::SimActor&) { world.Player().stateWord = 0x20000; }},
    {"StopsBeingHostile",
     [](sim::World&, sim::SimActor& target) {
         gSettings.OnlyHostile = true;
         target.hostile = false;
     }},
    {"IsEssential",
     [](sim::World&, sim::SimActor& target) {
         gSettings.IgnoreEssentialActor = true;
         target.flagWord |= host::kActorFlagEssential;
     }},
    {"LeavesTheDistance", [](sim::World&, sim::SimActor&) { gSettings.MaxDistance = 500; }},
    {"ADistanceLimitOfZero", [](sim::World&, sim::SimActor&) { gSettings.MaxDistance = 0; }},
};
INSTANTIATE_TEST_SUITE_P(EachCheck, TrackingFailedCheck, ::testing::ValuesIn(kFailedChecks), CaseName<FailedCheck>);

TEST_F(TrackingUpdate, FiltersThatAreOffAreNotTested) {
    target->hostile = false;
    target->flagWord |= host::kActorFlagEssential;
    target->lineOfSight = false;  // the scan's sight and view tests do not apply either
    world->Player().rotation.z = 3.0f;
    Frame();
    EXPECT_TRUE(Locked());
}

TEST_F(TrackingUpdate, ExactlyAtTheDistanceLimitTheLockHolds) {
    sim::ActorSetup setup;
    setup.nodes = {{"NPC Spine2 [Spn2]", {0, 0, 100}}};
    sim::SimActor& exact = AddActor({0, 1000, 20}, setup);
    lock.targetHandle = exact.handle;
    gSettings.MaxDistance = 1000;
    Frame();
    EXPECT_EQ(lock.targetHandle, exact.handle);
}

// What keeps the update from looking at the lock at all, switched on or off.
struct Gate {
    const char* name;
    void (*set)(sim::World& world, TargetLock& lock, bool on);
};
void PrintTo(const Gate& gate, std::ostream* out) { *out << gate.name; }

class TrackingGate : public TrackingUpdate, public ::testing::WithParamInterface<Gate> {};

TEST_P(TrackingGate, NothingMovesWhileItHolds) {
    GetParam().set(*world, lock, true);
    target->dead = true;  // would release, were the update to look
    Frame();
    EXPECT_TRUE(Locked());
    EXPECT_TRUE(world->session.rotations.empty());
    EXPECT_EQ(lock.markerX, 0.0);
    GetParam().set(*world, lock, false);
    target->dead = false;
    Frame();
    EXPECT_TRUE(Locked());
    EXPECT_FALSE(world->session.rotations.empty()) << "steering again once it lifts";
}

const Gate kGates[] = {
    {"GateMenuOpen", [](sim::World& world, TargetLock&,
                        bool on) { on ? world.OpenMenu(sim::kGateMenuName) : world.CloseMenu(sim::kGateMenuName); }},
    {"MarkerMenuClosed", [](sim::World&, TargetLock& lock, bool on) { LockState.markerMenu = on ? nullptr : &lock; }},
};
INSTANTIATE_TEST_SUITE_P(EachGate, TrackingGate, ::testing::ValuesIn(kGates), CaseName<Gate>);

TEST_F(TrackingUpdate, NothingMovesWhileUnlocked) {
    lock.targetHandle = sim::kEmptyHandle;
    Frame();
    EXPECT_TRUE(world->session.rotations.empty());
}

TEST_F(TrackingUpdate, TheDisplaySizeIsReadUntilItsHeightIsKnown) {
    sim::TheGame().screenHeight = 0;
    Frame();
    EXPECT_EQ(CachedScreenSize().height, 0u);
    sim::TheGame().screenWidth = 1280;
    sim::TheGame().screenHeight = 720;
    Frame();
    const double at720 = lock.markerX;
    EXPECT_EQ(CachedScreenSize().width, 1280u);
    sim::TheGame().screenWidth = 1000;
    sim::TheGame().screenHeight = 1000;
    Frame();
    EXPECT_EQ(CachedScreenSize().width, 1280u) << "never refreshed once the height is known";
    EXPECT_TRUE(std::isfinite(at720));
}

TEST_F(TrackingUpdate, ALockedFrameAllocatesNothing) {
    Frame();  // first frame: caches filled
    const std::size_t hostBlocks = sim::HostHeap().LiveBlocks();
    world->session.rotations.reserve(2000);  // the stand-in's own record of the frames
    test::AllocationCounter counter;
    for (int frame = 0; frame < 500; ++frame) Frame();
    EXPECT_EQ(counter.Count(), 0u);
    EXPECT_EQ(sim::HostHeap().LiveBlocks(), hostBlocks);
    EXPECT_TRUE(Locked());
}

TEST_F(TrackingUpdate, ATargetAtTheCameraDoesNotCrash) {
    sim::ActorSetup setup;
    setup.nodes = {{"NPC Spine2 [Spn2]", {0, 0, 120}}};
    sim::SimActor& onCamera = AddActor({0, 0, 0}, setup);
    lock.targetHandle = onCamera.handle;
    Frame();
    EXPECT_EQ(lock.targetHandle, onCamera.handle);
    EXPECT_EQ(lock.markerDistance, 0.0);
}

TEST_F(TrackingUpdate, TheRangeIsTheFloatDistanceWidened) {
    // Chosen so that the distance rounds differently in float and in double.
    sim::ActorSetup setup;
    setup.nodes = {{"NPC Spine2 [Spn2]", {0, 0, 100}}};
    sim::SimActor& odd = AddActor({123.456f, 654.321f, 57.75f}, setup);
    lock.targetHandle = odd.handle;
    Frame();
    const float dx = 123.456f - 0.0f, dy = 654.321f - 0.0f, dz = (57.75f + 100.0f) - 120.0f;
    const float horizontal = SingleSqrt(dy * dy + dx * dx);
    const double expected = SingleSqrt(horizontal * horizontal + dz * dz);
    ASSERT_NE(expected, std::sqrt(double(dx) * dx + double(dy) * dy + double(dz) * dz))
        << "a point that tells them apart";
    EXPECT_EQ(lock.markerDistance, expected);
}

// An aim point no arithmetic should carry through to the game.
struct BrokenAim {
    const char* name;
    host::NiPoint3 aim;
};
void PrintTo(const BrokenAim& broken, std::ostream* out) { *out << broken.name; }

class TrackingBrokenAim : public TrackingUpdate, public ::testing::WithParamInterface<BrokenAim> {};

TEST_P(TrackingBrokenAim, EndsTheLockAndNothingReachesTheGame) {
    Frame();
    ASSERT_TRUE(Locked());
    for (const auto& node : target->root->children) node->worldTranslation = GetParam().aim;
    world->session.rotations.clear();
    Frame();
    EXPECT_EQ(lock.targetHandle, sim::kEmptyHandle) << "no longer qualifies";
    EXPECT_TRUE(world->session.rotations.empty());
    EXPECT_TRUE(std::isfinite(world->Player().rotation.z));
}

const BrokenAim kBrokenAims[] = {
    {"AimPointNaN", {NAN, 600, 100}},
    {"AimPointInfinite", {30, INFINITY, 100}},
    {"FarBeyondFloat", {3e38f, -3e38f, 0}},
};
INSTANTIATE_TEST_SUITE_P(EachAim, TrackingBrokenAim, ::testing::ValuesIn(kBrokenAims), CaseName<BrokenAim>);

TEST_F(TrackingUpdate, AHugePlayerHeadingEndsTheFrameAtOnce) {
    world->Player().rotation.z = 1e20f;  // stepping 2π off this never ends
    Frame();
    EXPECT_TRUE(Locked());
    ASSERT_EQ(world->session.rotations.size(), 2u);
    EXPECT_GE(world->Player().rotation.z, 0.0f);
    EXPECT_LE(world->Player().rotation.z, static_cast<float>(kTwoPi));
}

}  // namespace

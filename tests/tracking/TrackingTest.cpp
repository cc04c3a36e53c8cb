#include <gtest/gtest.h>

#include <cmath>
#include <functional>
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

TEST_F(TrackingUpdate, EveryFailedCheckEndsTheLockOnTheNextFrame) {
    const std::vector<std::pair<const char*, std::function<void()>>> failures = {
        {"dies", [&] { target->dead = true; }},
        {"loses its 3D", [&] { target->loaded = false; }},
        {"unloads", [&] { world->Unload(*target); }},
        {"player interaction extra",
         [&] {
             world->Player().flagWord = host::kActorFlagHasExtraInteraction;
             world->Player().extra.bits[21] = 0x02;
         }},
        {"player flag 0x4000", [&] { world->Player().flagWord = host::kActorFlagScanBlocked; }},
        {"player state 0x3C000", [&] { world->Player().stateWord = 0x20000; }},
        {"stops being hostile",
         [&] {
             gSettings.OnlyHostile = true;
             target->hostile = false;
         }},
        {"is essential",
         [&] {
             gSettings.IgnoreEssentialActor = true;
             target->flagWord |= host::kActorFlagEssential;
         }},
        {"leaves the distance", [&] { gSettings.MaxDistance = 500; }},
        {"a distance limit of 0", [&] { gSettings.MaxDistance = 0; }},
    };
    for (const auto& [name, fail] : failures) {
        SetUp();
        Frame();
        ASSERT_TRUE(Locked()) << name;
        fail();
        world->session.rotations.clear();
        Frame();
        EXPECT_EQ(lock.targetHandle, sim::kEmptyHandle) << name;
        EXPECT_TRUE(lock.visitedSet.empty()) << name;
        EXPECT_TRUE(world->session.rotations.empty()) << name << ": no steering once released";
        ExpectReferencesBalanced();
        TearDown();
    }
}

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

TEST_F(TrackingUpdate, NothingMovesWhileGatedOrUnlocked) {
    const std::vector<std::pair<const char*, std::function<void(bool)>>> gates = {
        {"gate menu open", [&](bool on) { on ? world->OpenMenu(sim::kGateMenuName) : world->CloseMenu(sim::kGateMenuName); }},
        {"marker menu closed", [&](bool on) { LockState.markerMenu = on ? nullptr : &lock; }},
    };
    for (const auto& [name, gate] : gates) {
        gate(true);
        target->dead = true;  // would release, were the update to look
        Frame();
        EXPECT_TRUE(Locked()) << name;
        EXPECT_TRUE(world->session.rotations.empty()) << name;
        EXPECT_EQ(lock.markerX, 0.0) << name;
        gate(false);
        target->dead = false;
    }
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
    ASSERT_NE(expected, std::sqrt(double(dx) * dx + double(dy) * dy + double(dz) * dz)) << "a point that tells them apart";
    EXPECT_EQ(lock.markerDistance, expected);
}

TEST_F(TrackingUpdate, ATargetThatIsNotANumberEndsTheLockAndNothingReachesTheGame) {
    const std::vector<std::pair<const char*, host::NiPoint3>> broken = {
        {"aim point NaN", {NAN, 600, 100}}, {"aim point infinite", {30, INFINITY, 100}}, {"far beyond float", {3e38f, -3e38f, 0}}};
    for (const auto& [name, aim] : broken) {
        SetUp();
        Frame();
        ASSERT_TRUE(Locked()) << name;
        for (const auto& node : target->root->children) node->worldTranslation = aim;
        world->session.rotations.clear();
        Frame();
        EXPECT_EQ(lock.targetHandle, sim::kEmptyHandle) << name << ": no longer qualifies";
        EXPECT_TRUE(world->session.rotations.empty()) << name;
        EXPECT_TRUE(std::isfinite(world->Player().rotation.z)) << name;
        TearDown();
    }
}

TEST_F(TrackingUpdate, AHugePlayerHeadingEndsTheFrameAtOnce) {
    world->Player().rotation.z = 1e20f;  // stepping 2π off this never ends
    Frame();
    EXPECT_TRUE(Locked());
    ASSERT_EQ(world->session.rotations.size(), 2u);
    EXPECT_GE(world->Player().rotation.z, 0.0f);
    EXPECT_LE(world->Player().rotation.z, static_cast<float>(kTwoPi));
}

}  // namespace

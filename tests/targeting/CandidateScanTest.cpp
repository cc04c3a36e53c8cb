#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "host/Host.h"
#include "support/WorldFixture.h"
#include "targeting/CandidateScan.h"
#include "targeting/Geometry.h"

namespace {

// The camera sits at (0, 0, 120) looking along +y; an actor at (x, y, 20) is aimed at
// (x, y, 120), level with the camera.
class CandidateScan : public test::WorldTest {
protected:
    std::vector<TargetCandidate> Scan() {
        std::vector<TargetCandidate> list;
        CollectCandidates(list);
        SortCandidates(list);
        return list;
    }
    std::vector<host::Actor*> ScannedActors() {
        std::vector<host::Actor*> actors;
        for (const TargetCandidate& c : Scan()) actors.push_back(c.actor);
        return actors;
    }
    sim::SimActor& Ahead(float y, float x = 0) { return AddActor({x, y, 20}); }
};

TEST_F(CandidateScan, OrdersActorsByAngleFromTheCentreOfView) {
    sim::SimActor& offCentre = Ahead(500, 200);
    sim::SimActor& centre = Ahead(900, 10);
    const std::vector<TargetCandidate> list = Scan();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].actor, &centre);
    EXPECT_EQ(list[1].actor, &offCentre);
    EXPECT_NEAR(list[1].angularDistance, std::atan2(200.0, 500.0), 1e-6);
    ExpectReferencesBalanced();
}

TEST_F(CandidateScan, GameStatesThatForbidAScanYieldNothing) {
    Ahead(500);
    const std::vector<std::pair<const char*, std::function<void(bool)>>> gates = {
        {"camera state 3",
         [&](bool on) { world->Camera().SetState(on ? host::kCameraStateNoScan : host::kCameraStateThirdPerson); }},
        {"control state byte", [&](bool on) { world->conditions.controlState.scanBlocked = on; }},
        {"host busy", [&](bool on) { world->conditions.hostBusy = on; }},
        {"gate menu open",
         [&](bool on) { on ? world->OpenMenu(sim::kGateMenuName) : world->CloseMenu(sim::kGateMenuName); }},
        {"player interaction extra",
         [&](bool on) {
             world->Player().flagWord = on ? host::kActorFlagHasExtraInteraction : 0;
             world->Player().extra.bits[21] = on ? 0x02 : 0;
         }},
        {"player flag 0x4000", [&](bool on) { world->Player().flagWord = on ? host::kActorFlagScanBlocked : 0; }},
        {"player state 0x3C000", [&](bool on) { world->Player().stateWord = on ? 0x8000 : 0; }},
    };
    for (const auto& [name, gate] : gates) {
        gate(true);
        EXPECT_TRUE(Scan().empty()) << name;
        gate(false);
        EXPECT_EQ(Scan().size(), 1u) << name << " cleared";
    }
    // The extra-data flag alone, or the presence bit alone, does not gate.
    world->Player().flagWord = host::kActorFlagHasExtraInteraction;
    EXPECT_EQ(Scan().size(), 1u);
    ExpectReferencesBalanced();
}

TEST_F(CandidateScan, ActorsThatCannotBeLockedAreSkipped) {
    sim::SimActor& dead = Ahead(300);
    dead.dead = true;
    Ahead(310).loaded = false;
    Ahead(320).lineOfSight = false;
    sim::SimActor& unloaded = Ahead(330);
    world->Unload(unloaded);
    world->AddProcessHandle(host::EmptyHandle());
    world->AddProcessHandle(0x7FFFFFF);  // never issued
    sim::SimActor& living = Ahead(340);
    EXPECT_EQ(ScannedActors(), std::vector<host::Actor*>{&living});
    ExpectReferencesBalanced();
}

TEST_F(CandidateScan, HostilityAndEssentialFiltersApplyOnlyWhenSet) {
    sim::ActorSetup friendly;
    friendly.hostile = false;
    friendly.essential = true;
    sim::SimActor& ally = AddActor({0, 400, 20}, friendly);
    sim::SimActor& enemy = Ahead(500, 50);
    EXPECT_EQ(ScannedActors(), (std::vector<host::Actor*>{&ally, &enemy}));
    gSettings.OnlyHostile = true;
    EXPECT_EQ(ScannedActors(), std::vector<host::Actor*>{&enemy});
    gSettings.OnlyHostile = false;
    gSettings.IgnoreEssentialActor = true;
    EXPECT_EQ(ScannedActors(), std::vector<host::Actor*>{&enemy});
}

TEST_F(CandidateScan, DistanceEqualToTheLimitPassesAndReadsUnsigned) {
    Ahead(1000);
    gSettings.MaxDistance = 1000;
    EXPECT_EQ(Scan().size(), 1u);

    world = &sim::ResetWorld();
    AddActor({0, std::nextafter(1000.0f, 2000.0f), 20});
    EXPECT_TRUE(Scan().empty()) << "a hair beyond";

    gSettings.MaxDistance = -1;  // 4294967295 units
    AddActor({0, 1.0e9f, 20});
    EXPECT_EQ(Scan().size(), 2u);
}

TEST_F(CandidateScan, HorizontalOffsetEqualToHalfTheFieldOfViewIsRejected) {
    world->Camera().fieldOfView = 90.0f;
    const float halfFieldOfView = static_cast<float>(90.0 / 180.0 * kPi * 0.5);
    AddActor({300, 300, 20});  // 45 degrees right: the heading found below is close to 0
    const float bearing = SingleAtan2(300, 300);
    // A player heading for which the scan's float subtraction gives exactly the half angle.
    float heading = bearing - halfFieldOfView;
    while (static_cast<float>(bearing - heading) > halfFieldOfView) heading = std::nextafter(heading, 10.0f);
    while (static_cast<float>(bearing - heading) < halfFieldOfView) heading = std::nextafter(heading, -10.0f);
    ASSERT_EQ(static_cast<float>(bearing - heading), halfFieldOfView);
    world->Player().rotation.z = heading;
    EXPECT_TRUE(Scan().empty());

    const float inside = heading + 1.0e-6f;  // a hair further right: the actor is just inside
    ASSERT_LT(static_cast<float>(bearing - inside), halfFieldOfView);
    world->Player().rotation.z = inside;
    EXPECT_EQ(Scan().size(), 1u);
}

TEST_F(CandidateScan, VerticalOffsetNeverRejectsButBehindTheCameraDoes) {
    world->Camera().fieldOfView = 40.0f;
    sim::SimActor& overhead = AddActor({0, 1, 900});
    EXPECT_EQ(ScannedActors(), std::vector<host::Actor*>{&overhead});
    world->Camera().fieldOfView = 359.0f;
    AddActor({0, -500, 20});  // behind: about π off the centre
    EXPECT_EQ(ScannedActors(), std::vector<host::Actor*>{&overhead});
}

TEST_F(CandidateScan, EqualDistancesAreOrderedByAddress) {
    sim::SimActor& left = Ahead(500, -100);
    sim::SimActor& right = Ahead(500, 100);
    const std::vector<TargetCandidate> list = Scan();
    ASSERT_EQ(list.size(), 2u);
    ASSERT_EQ(list[0].angularDistance, list[1].angularDistance);
    EXPECT_EQ(list[0].actor, std::less<host::Actor*>{}(&left, &right) ? &left : &right);
}

TEST_F(CandidateScan, TheListIsAppendedToAndNeverCleared) {
    Ahead(500);
    std::vector<TargetCandidate> list = {{0.0, nullptr}};
    CollectCandidates(list);
    EXPECT_EQ(list.size(), 2u);
    world->conditions.hostBusy = true;
    CollectCandidates(list);
    EXPECT_EQ(list.size(), 2u);
}

}  // namespace

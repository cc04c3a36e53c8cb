#include "support/Scenes.h"

#include "plugin/ProcessState.h"

#include <cmath>

#include "settings/Settings.h"
#include "sim/game/Game.h"
#include "tracking/Tracking.h"

namespace scenes {

namespace {

constexpr char kAimNode[] = "NPC Spine2 [Spn2]";

// The player's view in every scene: turned right and looking a little down, the
// third-person camera with offsets of its own, the first-person node rolled.
constexpr host::NiPoint3 kPlayerRotation = {0.05f, 0.0f, 0.2f};
constexpr float kHeadingOffset = 0.03f, kPitchOffset = -0.02f;
constexpr float kNodeHeading = 0.2f, kNodePitch = 0.01f, kNodeRoll = 0.04f;

}  // namespace

sim::World& FreshWorld() {
    sim::World& world = sim::ResetWorld();
    ResetProcessState();
    sim::Game& game = sim::TheGame();
    game.steeringGate = 1;
    game.invertLookY = 0;
    game.screenWidth = 1920;
    game.screenHeight = 1080;
    return world;
}

const char* Name(View view) { return view == View::kFirstPerson ? "FirstPerson" : "ThirdPerson"; }
const char* Name(AimSource source) { return source == AimSource::kSkeletonTable ? "SkeletonTable" : "BodyPart"; }

namespace {

sim::SimActor& AddTarget(sim::World& world, AimSource source) {
    sim::ActorSetup setup;
    setup.position = {260.0f, 700.0f, -35.0f};
    if (source == AimSource::kBodyPart) setup.bodyPartNode = kAimNode;
    return world.AddActor(setup);
}

}  // namespace

LockedScene::LockedScene(sim::World& world, View view, AimSource source)
    : world(world), view(view), source(source), target(AddTarget(world, source)) {
    sim::SimCamera& camera = world.Camera();
    camera.SetState(view == View::kFirstPerson ? host::kCameraStateFirstPerson : host::kCameraStateThirdPerson);
    camera.firstPersonNode->worldRotate = sim::FirstPersonRotation(kNodeHeading, kNodePitch, kNodeRoll);
    world.Player().rotation = kPlayerRotation;
    camera.ThirdPerson().headingOffset = kHeadingOffset;
    camera.ThirdPerson().pitchOffset = kPitchOffset;
    startRotation_ = world.Player().rotation;
    startHeadingOffset_ = kHeadingOffset;
    startPitchOffset_ = kPitchOffset;

    lock.targetHandle = target.handle;
    lock.visitedSet.insert(target.handle);
    LockState.markerMenu = &lock;
}

LockedScene::~LockedScene() {
    if (LockState.markerMenu == &lock) LockState.markerMenu = nullptr;
}

void LockedScene::Restore() {
    world.Player().rotation = startRotation_;
    world.Camera().ThirdPerson().headingOffset = startHeadingOffset_;
    world.Camera().ThirdPerson().pitchOffset = startPitchOffset_;
}

std::size_t AddCrowd(sim::World& world, std::size_t count) {
    const float reach = static_cast<float>(static_cast<std::uint32_t>(gSettings.MaxDistance));
    std::size_t accepted = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // Each ten actors hold the ten kinds once, in an order that changes from one ten to
        // the next with no short period (as a game's list has none).
        const std::size_t kind = (i % 10 * 7 + (i / 10 * 2654435761u >> 16)) % 10;
        // Spread over ±20 degrees of the view and 20 % to 90 % of the reach, in a fixed order.
        const double bearing = (static_cast<double>(i * 7919 % 1000) / 1000.0 - 0.5) * 0.7;
        const double range = reach * (0.2 + 0.7 * static_cast<double>(i * 104729 % 997) / 997.0);
        sim::ActorSetup setup;
        setup.position = {static_cast<float>(range * std::sin(bearing)), static_cast<float>(range * std::cos(bearing)),
                          static_cast<float>(i % 7) * 10.0f};
        switch (kind) {
            case 3: setup.position.y = -setup.position.y; break;  // behind the camera
            case 4: setup.position.y += reach; break;             // out of reach
            case 6: setup.female = true; break;
            case 7: setup.bodyPartNode = kAimNode; break;
            case 8: setup.malePath = "Actors\\Mods\\Unknown\\Creature.hkx"; break;  // the host's fallback
            default: break;
        }
        sim::SimActor& actor = world.AddActor(setup);
        switch (kind) {
            case 0: actor.dead = true; break;
            case 1: actor.loaded = false; break;
            case 2: actor.wall = true; break;
            case 3:
            case 4: break;
            default: ++accepted; break;
        }
    }
    return accepted;
}

}  // namespace scenes

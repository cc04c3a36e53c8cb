#include "TrackingBench.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "Counters.h"
#include "Floor.h"
#include "aimpoint/AimPointTable.h"
#include "settings/Settings.h"
#include "sim/game/Game.h"
#include "support/Scenes.h"
#include "tracking/Tracking.h"

namespace bench {

namespace {

using scenes::AimSource;
using scenes::View;

constexpr View kViews[] = {View::kFirstPerson, View::kThirdPerson};
constexpr AimSource kSources[] = {AimSource::kSkeletonTable, AimSource::kBodyPart};

// A locked scene in a fresh world, with the floor's inputs read from it.
struct Bench {
    Bench(View view, AimSource source) : scene(scenes::FreshWorld(), view, source) {
        sim::World& world = scene.world;
        world.session.rotations.reserve(16);
        UpdateTracking(nullptr, nullptr);  // the first frame reads the display size and fills the getters' globals
        scene.Restore();
        world.session.rotations.clear();
        ReadInputs();
    }

    void ReadInputs() {
        sim::World& world = scene.world;
        sim::SimCamera& camera = world.Camera();
        const sim::SimActor& player = world.Player();
        sim::SimActor& target = scene.target;

        // The node positions the skeleton table leads to in this target's model.
        for (const AimPointRow& row : kAimPointRows)
            for (const auto& node : target.root->children)
                if (node->name.View() == row.nodeName) aimPoints[row.skeletonPath] = Plain(node->worldTranslation);
        in.throughTable = scene.source == AimSource::kSkeletonTable;
        in.aim = Plain(in.throughTable ? target.fallbackAim : target.root->children.front()->worldTranslation);
        in.skeletonPath = target.raceRecord.skeleton[0].path;
        in.aimPoints = &aimPoints;
        in.firstPerson = scene.view == View::kFirstPerson;
        in.eye = Plain(in.firstPerson ? camera.cameraRoot->worldTranslation : camera.ThirdPerson().cameraPosition);
        std::memcpy(in.nodeRotation, camera.firstPersonNode->worldRotate.m, sizeof in.nodeRotation);
        in.playerPitch = player.rotation.x;
        in.playerRoll = player.rotation.y;
        in.playerHeading = player.rotation.z;
        in.headingOffset = camera.ThirdPerson().headingOffset;
        in.pitchOffset = camera.ThirdPerson().pitchOffset;
        in.fieldOfView = camera.fieldOfView;
        in.screenWidth = sim::TheGame().screenWidth;
        in.screenHeight = sim::TheGame().screenHeight;
        in.maxDistance = static_cast<std::uint32_t>(gSettings.MaxDistance);
        in.cameraSpeed = static_cast<std::uint32_t>(gSettings.CameraSpeed);
    }

    static floorplan::Point Plain(const host::NiPoint3& p) { return {p.x, p.y, p.z}; }

    // One plugin frame from the scene's start, and the floor from the same values.
    std::string Compare() {
        scene.Restore();
        scene.world.session.rotations.clear();
        UpdateTracking(nullptr, nullptr);
        return CompareLastFrame();
    }

    // The frame the plugin ran last (from the scene's start) against the floor.
    std::string CompareLastFrame() {
        const floorplan::Outputs floor = floorplan::Frame(in);
        const sim::World& world = scene.world;
        std::string differs;
        auto same = [&](const char* what, auto plugin, auto expected) {
            if (std::memcmp(&plugin, &expected, sizeof plugin) == 0) return;
            char text[128];
            std::snprintf(text, sizeof text, " %s: plugin %.17g, floor %.17g;", what, static_cast<double>(plugin),
                          static_cast<double>(expected));
            differs += text;
        };
        if (!floor.kept || scene.lock.targetHandle != scene.target.handle) return " the target was not kept";
        if (world.session.rotations.size() != 2) return " the player was not steered once";
        same("marker x", scene.lock.markerX, floor.markerX);
        same("marker y", scene.lock.markerY, floor.markerY);
        same("marker distance", scene.lock.markerDistance, floor.markerDistance);
        same("heading", world.session.rotations[0].value, floor.heading);
        same("pitch", world.session.rotations[1].value, floor.pitch);
        same("heading offset", scene.world.Camera().ThirdPerson().headingOffset, floor.headingOffset);
        same("pitch offset", scene.world.Camera().ThirdPerson().pitchOffset, floor.pitchOffset);
        return differs;
    }

    scenes::LockedScene scene;
    floorplan::AimPoints aimPoints;
    floorplan::Inputs in{};
};

std::string CaseName(const char* kind, View view, AimSource source) {
    return std::string(kind) + "/" + scenes::Name(view) + "/" + scenes::Name(source);
}

// The plugin's whole per-frame update, through the patched call's entry.
void Update(benchmark::State& state, View view, AimSource source) {
    Bench bench(view, source);
    sim::World& world = bench.scene.world;
    test::AllocationCounter counter;
    for (auto _ : state) {
        bench.scene.Restore();
        world.session.rotations.clear();
        UpdateTracking(nullptr, nullptr);
    }
    ReportAllocations(state, counter);
    // The frames just timed must be the floor's, bit for bit.
    if (const std::string differs = bench.CompareLastFrame(); !differs.empty())
        state.SkipWithError(("the update differs from its floor:" + differs).c_str());
}

// The same frame's arithmetic on plain values.
void Floor(benchmark::State& state, View view, AimSource source) {
    Bench bench(view, source);
    const floorplan::Inputs* in = &bench.in;
    test::AllocationCounter counter;
    for (auto _ : state) {
        benchmark::DoNotOptimize(in);
        floorplan::Outputs out = floorplan::Frame(*in);
        benchmark::DoNotOptimize(out);
    }
    ReportAllocations(state, counter);
}

// The stand-in's own entries that one frame of the update calls, with the same
// arguments, called alone: their cost is the game's, not the plugin's.
void HostEntries(benchmark::State& state, View view, AimSource source) {
    Bench bench(view, source);
    sim::World& world = bench.scene.world;
    const host::HostTable& t = sim::HostTable();
    host::MenuManager* menus = *t.MenuManagerGlobal;
    const host::FixedString* gateMenu = &(*t.UIStringTable)->gateMenu;
    const host::ActorHandle handle = bench.scene.target.handle;
    host::PlayerCharacter* player = *t.PlayerActorGlobal;
    host::TESCameraState* state3rd = (*t.PlayerCameraGlobal)->currentState;
    host::BSInputDevice* gamepad = (*t.InputEventDispatcherGlobal)->gamepadDevice;
    const bool bodyPart = source == AimSource::kBodyPart;
    const host::FixedString* nodeName =
        bodyPart ? &bench.scene.target.bodyPart.nodeName : LookupAimNode("actors\\character\\defaultmale.hkx");
    const bool thirdPerson = view == View::kThirdPerson;
    test::AllocationCounter counter;
    for (auto _ : state) {
        bench.scene.Restore();
        world.session.rotations.clear();
        bool answers = t.IsMenuOpen(menus, gateMenu);  // the gate
        host::TESObjectREFR* reference = nullptr;
        answers ^= t.LookupReferenceByHandle(&handle, &reference);
        auto* actor = static_cast<host::Actor*>(reference);
        host::NiNode* root = t.GetActorRootNode(reference);  // re-validation
        answers ^= t.IsDead(actor, true);
        root = t.GetActorRootNode(reference);  // the aim point
        if (!bodyPart) answers ^= t.IsFemaleActorBase(actor->baseForm);
        benchmark::DoNotOptimize(t.FindNodeByName(root, nodeName));
        host::NiPoint3 eye;
        if (thirdPerson) t.GetStateCameraPosition(state3rd, &eye);
        answers ^= t.IsGamepadEnabled(gamepad);
        t.SetActorHeading(player, 0.25f);
        t.SetActorPitch(player, 0.05f);
        t.DropReference(reference);
        benchmark::DoNotOptimize(answers);
        benchmark::DoNotOptimize(eye);
    }
    ReportAllocations(state, counter);
}

}  // namespace

std::string CheckFloorMatchesUpdate() {
    std::string report;
    for (View view : kViews)
        for (AimSource source : kSources) {
            Bench bench(view, source);
            if (const std::string differs = bench.Compare(); !differs.empty())
                report += CaseName("UpdateTracking", view, source) + ":" + differs + "\n";
        }
    return report;
}

void RegisterTrackingBenchmarks() {
    for (View view : kViews)
        for (AimSource source : kSources) {
            benchmark::RegisterBenchmark(CaseName("UpdateTracking", view, source).c_str(), Update, view, source)
                ->UseRealTime();
            benchmark::RegisterBenchmark(CaseName("Floor", view, source).c_str(), Floor, view, source)->UseRealTime();
            benchmark::RegisterBenchmark(CaseName("HostEntries", view, source).c_str(), HostEntries, view, source)
                ->UseRealTime();
        }
}

}  // namespace bench

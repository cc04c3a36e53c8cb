#include "TargetingBench.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "Counters.h"
#include "aimpoint/AimPointTable.h"
#include "settings/Settings.h"
#include "sim/game/Game.h"
#include "support/Scenes.h"
#include "targeting/CandidateScan.h"
#include "targeting/Commands.h"
#include "targeting/Geometry.h"

namespace bench {

namespace {

// A command's scan finds this many candidates (half the crowd qualifies).
constexpr std::size_t kCommandCandidates = 100;

// A scan and its sort, as a key press makes them, over a crowd of `range(0)` actors.
void Scan(benchmark::State& state) {
    const auto actors = static_cast<std::size_t>(state.range(0));
    sim::World& world = scenes::FreshWorld();
    const std::size_t accepted = scenes::AddCrowd(world, actors);
    {
        std::vector<TargetCandidate> list;
        CollectCandidates(list);
        if (list.size() != accepted) {
            state.SkipWithError("the scan does not accept the crowd's qualifying half");
            return;
        }
    }
    test::AllocationCounter counter;
    for (auto _ : state) {
        std::vector<TargetCandidate> list;
        CollectCandidates(list);
        SortCandidates(list);
        benchmark::DoNotOptimize(list.data());
    }
    ReportAllocations(state, counter);
    ReportPerActor(state, actors);
}

// A scan and its sort over `range(0)` actors of a 10,000-actor crowd, a different
// stretch of the game's list each time: what a key press meets, with neither the
// processor's caches nor its branch history holding the actors of the last scan (a scan
// of one small crowd repeated learns its branches and keeps its actors in cache).
constexpr std::size_t kWindowCrowd = 10000;

void ScanWindows(benchmark::State& state) {
    const auto actors = static_cast<std::size_t>(state.range(0));
    sim::World& world = scenes::FreshWorld();
    scenes::AddCrowd(world, kWindowCrowd);
    host::ActorHandle* const all = world.processLists.actorHandles;
    const std::size_t windows = kWindowCrowd / actors;
    std::size_t next = 0;
    world.processLists.actorCount = static_cast<std::uint32_t>(actors);
    test::AllocationCounter counter;
    for (auto _ : state) {
        world.processLists.actorHandles = all + next * actors;
        next = next + 1 == windows ? 0 : next + 1;
        std::vector<TargetCandidate> list;
        CollectCandidates(list);
        SortCandidates(list);
        benchmark::DoNotOptimize(list.data());
    }
    ReportAllocations(state, counter);
    world.processLists.actorHandles = all;
    world.processLists.actorCount = static_cast<std::uint32_t>(kWindowCrowd);
    ReportPerActor(state, actors);
}

// The stand-in's own entries that a scan of `range(0)` actors calls, with the same
// arguments, called alone: each handle looked up and dropped, and between the two the
// entries the scan's tests reach for that actor. Which aim node each actor's race leads
// to is worked out beforehand (that part is the plugin's).
void ScanHostEntries(benchmark::State& state) {
    const auto actors = static_cast<std::size_t>(state.range(0));
    sim::World& world = scenes::FreshWorld();
    scenes::AddCrowd(world, actors);
    const host::HostTable& t = sim::HostTable();
    host::PlayerCharacter* player = &world.Player();
    struct Visit {
        host::ActorHandle handle;
        const host::FixedString* node;  // null: the host's fallback position
        bool throughTable;              // the actor's sex is asked for its skeleton path
    };
    std::vector<Visit> visits;
    for (std::uint32_t i = 0; i < world.processLists.actorCount; ++i) {
        sim::SimActor* actor = world.Resolve(world.processLists.actorHandles[i]);
        if (actor->raceRecord.bodyPartData != nullptr) {
            visits.push_back({actor->handle, &actor->bodyPart.nodeName, false});
        } else {
            const std::string path = AsciiLower(actor->skeletonPaths[actor->baseRecord.female ? 1 : 0]);
            visits.push_back({actor->handle, LookupAimNode(path), true});
        }
    }
    for (auto _ : state) {
        for (const Visit& visit : visits) {
            host::TESObjectREFR* reference = nullptr;
            if (!t.LookupReferenceByHandle(&visit.handle, &reference)) continue;
            auto* actor = static_cast<host::Actor*>(reference);
            host::NiNode* root = t.GetActorRootNode(reference);
            bool seen = false;
            if (root != nullptr && !t.IsDead(actor, true) && t.HasLineOfSight(player, reference, &seen) && seen) {
                root = t.GetActorRootNode(reference);  // the aim point's
                if (visit.throughTable) t.IsFemaleActorBase(actor->baseForm);
                host::NiPoint3 aim;
                if (visit.node == nullptr || t.FindNodeByName(root, visit.node) == nullptr)
                    t.GetActorFallbackAimPosition(reference, &aim);
                benchmark::DoNotOptimize(aim);
            }
            t.DropReference(reference);
        }
    }
    ReportPerActor(state, actors);
}

// The sort alone, of `range(0)` candidates in scrambled order with some equal keys. Each
// sort starts from a fresh copy of one of many scrambled lists, so that the processor
// cannot learn one list's branches by heart; the copy (16 bytes a candidate, linear and
// small beside the sort) is timed with it, as a clock read or a paused timer under Wine
// costs more than a small sort.
void Sort(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    constexpr std::size_t kPoolCandidates = 1 << 17;
    const std::size_t lists = std::max<std::size_t>(8, kPoolCandidates / size);
    std::vector<std::vector<TargetCandidate>> scrambled(lists, std::vector<TargetCandidate>(size));
    std::uint32_t seed = 12345;
    for (auto& source : scrambled)
        for (std::size_t i = 0; i < size; ++i) {
            seed = seed * 1664525u + 1013904223u;
            // Keys on a coarse grid, so that some are equal and the addresses decide.
            source[i] = {static_cast<double>(seed >> 22) / 1024.0,
                         reinterpret_cast<host::Actor*>((i * 2654435761u) & ~0xFu)};
        }
    std::vector<TargetCandidate> list(size);
    std::size_t next = 0;
    for (auto _ : state) {
        const std::vector<TargetCandidate>& source = scrambled[next];
        next = next + 1 == lists ? 0 : next + 1;
        std::copy(source.begin(), source.end(), list.begin());
        SortCandidates(list);
        benchmark::DoNotOptimize(list.data());
    }
    state.SetComplexityN(static_cast<std::int64_t>(size));
}

// A crowd with kCommandCandidates candidates, and a lock of the marker menu's kind.
struct CommandBench {
    CommandBench() : world(scenes::FreshWorld()), accepted(scenes::AddCrowd(world, 2 * kCommandCandidates)) {
        world.session.sounds.reserve(16);
    }
    sim::World& world;
    const std::size_t accepted;
    TargetLock lock;
};

// The lock key with nothing locked: scan, sort, lock the best, play the cue. The lock is
// let go after each (a release alone costs a tiny fraction of the command).
void Lock(benchmark::State& state) {
    CommandBench bench;
    if (bench.accepted != kCommandCandidates) state.SkipWithError("the crowd has not the candidates it should");
    LockCommand(bench.lock);  // the visited set's first use
    ReleaseTarget(bench.lock);
    test::AllocationCounter counter;
    for (auto _ : state) {
        LockCommand(bench.lock);
        ReleaseTarget(bench.lock);
        bench.world.session.sounds.clear();
    }
    ReportAllocations(state, counter);
    if (bench.world.session.sounds.capacity() == 0) state.SkipWithError("no cue was played");
}

// The switch key while locked, press after press: through every candidate and round again.
void Switch(benchmark::State& state) {
    CommandBench bench;
    if (bench.accepted != kCommandCandidates) state.SkipWithError("the crowd has not the candidates it should");
    LockCommand(bench.lock);
    for (std::size_t press = 0; press <= kCommandCandidates; ++press)
        SwitchCommand(bench.lock);  // one full round first
    test::AllocationCounter counter;
    for (auto _ : state) {
        SwitchCommand(bench.lock);
        bench.world.session.sounds.clear();
    }
    ReportAllocations(state, counter);
}

void LookupHit(benchmark::State& state) {
    const std::string_view path = "actors\\character\\defaultmale.hkx";
    for (auto _ : state) benchmark::DoNotOptimize(LookupAimNode(path));
}

void LookupMiss(benchmark::State& state) {
    const std::string_view path = "actors\\mods\\unknown\\creature.hkx";
    for (auto _ : state) benchmark::DoNotOptimize(LookupAimNode(path));
}

// The aim point of one actor, by each of the three ways it can be found.
void Resolve(benchmark::State& state, int way) {
    sim::World& world = scenes::FreshWorld();
    sim::ActorSetup setup;
    if (way == 1) setup.bodyPartNode = "NPC Spine2 [Spn2]";
    if (way == 2) setup.malePath = "Actors\\Mods\\Unknown\\Creature.hkx";
    sim::SimActor& actor = world.AddActor(setup);
    test::AllocationCounter counter;
    for (auto _ : state) benchmark::DoNotOptimize(ResolveAimPoint(actor));
    ReportAllocations(state, counter);
}

}  // namespace

void RegisterTargetingBenchmarks() {
    benchmark::RegisterBenchmark("Scan", Scan)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->UseRealTime();
    benchmark::RegisterBenchmark("ScanWindows", ScanWindows)->Arg(100)->Arg(1000)->UseRealTime();
    benchmark::RegisterBenchmark("ScanHostEntries", ScanHostEntries)->Arg(100)->Arg(10000)->UseRealTime();
    benchmark::RegisterBenchmark("Sort", Sort)
        ->RangeMultiplier(10)
        ->Range(10, 10000)
        ->UseRealTime()
        ->Complexity(benchmark::oNLogN);
    benchmark::RegisterBenchmark("LockCommand/100", Lock)->UseRealTime();
    benchmark::RegisterBenchmark("SwitchCommand/100", Switch)->UseRealTime();
    benchmark::RegisterBenchmark("LookupAimNode/Hit", LookupHit)->UseRealTime();
    benchmark::RegisterBenchmark("LookupAimNode/Miss", LookupMiss)->UseRealTime();
    benchmark::RegisterBenchmark("ResolveAimPoint/SkeletonTable", Resolve, 0)->UseRealTime();
    benchmark::RegisterBenchmark("ResolveAimPoint/BodyPart", Resolve, 1)->UseRealTime();
    benchmark::RegisterBenchmark("ResolveAimPoint/Fallback", Resolve, 2)->UseRealTime();
}

}  // namespace bench

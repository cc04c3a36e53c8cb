// What the per-frame update, the scan and the commands allocate, counted on the C++
// allocator and on the game's two heaps. (Their speed is measured in bench/, never here.)

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "host/Host.h"
#include "sim/game/Heaps.h"
#include "support/AllocationCounter.h"
#include "support/Scenes.h"
#include "support/WorldFixture.h"
#include "targeting/CandidateScan.h"
#include "targeting/Commands.h"

namespace {

constexpr int kLockedFrames = 10000;
constexpr std::size_t kCommandCandidates = 100;

class Allocations : public test::WorldTest {
protected:
    // Blocks live on the game's heap and its allocator object.
    static std::pair<std::size_t, std::size_t> HostBlocks() {
        return {sim::HostHeap().LiveBlocks(), sim::HostAllocator().LiveBlocks()};
    }
};

TEST_F(Allocations, TenThousandLockedFramesAllocateNothing) {
    for (scenes::View view : {scenes::View::kFirstPerson, scenes::View::kThirdPerson})
        for (scenes::AimSource source : {scenes::AimSource::kSkeletonTable, scenes::AimSource::kBodyPart}) {
            const std::string name = std::string(scenes::Name(view)) + "/" + scenes::Name(source);
            world = &scenes::FreshWorld();
            scenes::LockedScene scene(*world, view, source);
            world->session.rotations.reserve(2);  // the stand-in's own record of the turns
            UpdateTracking(nullptr, nullptr);     // the first frame reads the display size
            const auto hostBlocks = HostBlocks();
            test::AllocationCounter counter;
            for (int frame = 0; frame < kLockedFrames; ++frame) {
                scene.Restore();
                world->session.rotations.clear();
                UpdateTracking(nullptr, nullptr);
            }
            EXPECT_EQ(counter.Count(), 0u) << name;
            EXPECT_EQ(HostBlocks(), hostBlocks) << name;
            EXPECT_EQ(scene.lock.targetHandle, scene.target.handle) << name << ": locked throughout";
            EXPECT_EQ(world->session.rotations.size(), 2u) << name << ": and steered";
            EXPECT_NE(scene.lock.markerX, 0.0) << name;
        }
}

TEST_F(Allocations, AScanAllocatesItsListOnce) {
    const std::size_t accepted = scenes::AddCrowd(*world, 1000);
    const auto hostBlocks = HostBlocks();
    for (int scan = 0; scan < 3; ++scan) {
        test::AllocationCounter counter;
        std::vector<TargetCandidate> list;
        CollectCandidates(list);
        SortCandidates(list);
        EXPECT_EQ(counter.Count(), 1u) << "the reserve, and nothing per actor";
        EXPECT_EQ(list.size(), accepted);
    }
    world->conditions.hostBusy = true;  // a scan the game's state forbids reserves nothing
    test::AllocationCounter counter;
    std::vector<TargetCandidate> list;
    CollectCandidates(list);
    EXPECT_EQ(counter.Count(), 0u);
    EXPECT_EQ(HostBlocks(), hostBlocks);
    ExpectReferencesBalanced();
}

TEST_F(Allocations, ACommandAllocatesAtMostItsListAndOneHandle) {
    ASSERT_EQ(scenes::AddCrowd(*world, 2 * kCommandCandidates), kCommandCandidates);
    world->session.sounds.reserve(4 * kCommandCandidates);  // the stand-in's record of the cues
    const auto hostBlocks = HostBlocks();
    TargetLock lock;  // a fresh menu's: its first lock is counted too
    std::vector<std::size_t> counts;
    auto command = [&](void (*run)(TargetLock&)) {
        test::AllocationCounter counter;
        run(lock);
        counts.push_back(counter.Count());
    };
    command(LockCommand);  // lock
    command(LockCommand);  // release
    command(LockCommand);  // lock again
    // Round the candidates twice: every switch, the restarts included.
    for (std::size_t press = 0; press < 2 * kCommandCandidates + 2; ++press) command(SwitchCommand);
    ASSERT_NE(lock.targetHandle, host::EmptyHandle());
    EXPECT_EQ(world->session.sounds.size(), 2 + 2 * kCommandCandidates + 2)
        << "every lock and switch gave a new target";

    // The restart that passes over the current target because it is again the best.
    std::vector<TargetCandidate> ordered;
    CollectCandidates(ordered);
    SortCandidates(ordered);
    auto handleOf = [&](std::size_t i) { return static_cast<sim::SimActor*>(ordered[i].actor)->handle; };
    for (std::size_t i = 0; i < ordered.size(); ++i) lock.visitedSet.insert(handleOf(i));
    lock.targetHandle = handleOf(0);
    command(SwitchCommand);
    EXPECT_EQ(lock.targetHandle, handleOf(1));
    EXPECT_EQ(lock.visitedSet, (std::unordered_set<host::ActorHandle>{handleOf(0), handleOf(1)}));

    for (std::size_t i = 0; i < counts.size(); ++i) EXPECT_LE(counts[i], 2u) << "command " << i;
    EXPECT_EQ(counts[0], 2u) << "the first lock: the list and the handle";
    EXPECT_EQ(counts[1], 0u) << "a release allocates nothing";
    EXPECT_EQ(HostBlocks(), hostBlocks);
    ExpectReferencesBalanced();
}

}  // namespace

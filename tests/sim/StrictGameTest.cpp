// The stand-in game is never kinder than the real one: what a plugin could get wrong, it
// reports; what the game can answer badly, it can be told to.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/FixedString.h"
#include "host/Host.h"
#include "sim/game/EventSource.h"
#include "sim/game/Faults.h"
#include "sim/game/Game.h"
#include "sim/game/Heaps.h"
#include "sim/game/Misuse.h"
#include "sim/game/StringPool.h"
#include "support/AllocationCounter.h"
#include "support/TempFiles.h"
#include "support/WorldFixture.h"
#include "targeting/Geometry.h"

namespace {

bool Reported(const std::vector<std::string>& misuses, const std::string& part) {
    for (const std::string& misuse : misuses)
        if (misuse.find(part) != std::string::npos) return true;
    return false;
}

class StrictGame : public test::WorldTest {
protected:
    void TearDown() override {
        sim::Faults() = {};
        WorldTest::TearDown();
    }
    // A new world built with these faults.
    void Rebuild(const sim::FaultSwitches& faults) {
        sim::Faults() = faults;
        world = &sim::ResetWorld();
    }
};

struct FakeSink {
    void** vtable;
};

TEST_F(StrictGame, TheHeapHandsOutGarbageAndPoisonsWhatComesBack) {
    sim::Heap& heap = sim::HostHeap();
    auto* block = static_cast<std::uint8_t*>(heap.Allocate(16));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], sim::kFreshBlockFill) << "never zeroed for the plugin";
    heap.Free(block);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], sim::kFreedBlockFill) << "poisoned, and not yet reused";
    EXPECT_TRUE(sim::TakeMisuses().empty());

    heap.Free(block);
    int local = 0;
    heap.Free(&local);
    const std::vector<std::string> misuses = sim::TakeMisuses();
    ASSERT_EQ(misuses.size(), 2u);
    EXPECT_TRUE(Reported(misuses, "freed twice"));
    EXPECT_TRUE(Reported(misuses, "never allocated here"));
}

TEST_F(StrictGame, AHeapOutOfMemoryAnswersNullAndKeepsNothing) {
    sim::Heap& heap = sim::HostHeap();
    const std::size_t blocks = heap.LiveBlocks();
    heap.FailNextAllocations(1);
    EXPECT_EQ(heap.Allocate(16), nullptr) << "refused when asked to";

    // Out of memory for its own bookkeeping is out of memory too: null, and the block it
    // had taken goes back (a leak here is what the sanitizer build reports).
    {
        const test::RefusedAllocations refused(1);
        EXPECT_EQ(heap.Allocate(16), nullptr);
    }
    EXPECT_EQ(heap.LiveBlocks(), blocks);
    void* block = heap.Allocate(16);
    ASSERT_NE(block, nullptr) << "and the next allocation is served";
    heap.Free(block);
    EXPECT_TRUE(sim::TakeMisuses().empty());
}

TEST_F(StrictGame, FreeingASinkStillRegisteredIsReported) {
    auto* sink = static_cast<FakeSink*>(sim::HostHeap().Allocate(sizeof(FakeSink)));
    sim::AddSink(sim::TheGame().deaths, sink);
    sim::HostHeap().Free(sink);
    EXPECT_TRUE(Reported(sim::TakeMisuses(), "the death event source still holds sink"));
    sim::RemoveSink(sim::TheGame().deaths, sink);
}

TEST_F(StrictGame, ANewGameInTheSameProcessStartsAsTheFirstDid) {
    // What a session leaves behind: sinks of a plugin since unloaded (no code left to call:
    // calling one would crash), a fault, a refusal not yet given, another display, an
    // export withdrawn and an entry cleared.
    sim::DestroyWorld();
    FakeSink gone{nullptr};
    sim::AddSink(sim::TheGame().deaths, &gone);
    sim::AddSink(sim::TheGame().magicEffectApplied, &gone);
    sim::TheGame().screenWidth = 640;
    ++sim::TheGame().formLookups;
    sim::Faults().noMenuManager = true;
    sim::HostHeap().FailNextAllocations(1);
    sim::HostTable().IsDead = nullptr;
    sim::ExportHostTable(false);

    sim::ResetGame();
    const sim::Game first{};
    EXPECT_EQ(sim::SinkCount(sim::TheGame().deaths), 0u);
    EXPECT_EQ(sim::TheGame().deaths.count, 0u);
    EXPECT_EQ(sim::SinkCount(sim::TheGame().magicEffectApplied), 0u);
    EXPECT_EQ(sim::TheGame().screenWidth, first.screenWidth);
    EXPECT_EQ(sim::TheGame().formLookups, first.formLookups);
    EXPECT_FALSE(sim::Faults().noMenuManager);
    void* block = sim::HostHeap().Allocate(8);
    EXPECT_NE(block, nullptr) << "the refusal went with the old game";
    sim::HostHeap().Free(block);
    EXPECT_NE(sim::HostTable().IsDead, nullptr);
    EXPECT_EQ(VeldrinHostTable, &sim::HostTable());
    world = &sim::TheWorld();  // the next session's world builds as ever
    EXPECT_NE(sim::TheGame().player, nullptr);
}

TEST_F(StrictGame, CountsThatWouldGoBelowZeroAreReported) {
    sim::SimActor& actor = AddActor({0, 100, 0});
    host::HostTable& table = sim::HostTable();
    table.DropReference(&actor);  // the world's own reference
    table.DropReference(&actor);
    EXPECT_EQ(actor.References(), 0u);
    EXPECT_TRUE(Reported(sim::TakeMisuses(), "below zero"));
    ++actor.referenceWord;  // give the world its reference back

    const char* handle = sim::Strings().Intern("Released Twice");
    sim::Strings().Release(handle);
    sim::Strings().Release(handle);
    EXPECT_TRUE(Reported(sim::TakeMisuses(), "released twice"));
}

TEST_F(StrictGame, TheActorsAnswersCanBeAsBadAsTheGames) {
    sim::SimActor& actor = AddActor({0, 100, 0});
    const host::HostTable& table = sim::HostTable();
    actor.dying = true;
    EXPECT_TRUE(table.IsDead(&actor, true)) << "dying counts when the caller asks for it";
    EXPECT_FALSE(table.IsDead(&actor, false));

    bool seen = true;
    actor.wall = true;
    EXPECT_FALSE(table.HasLineOfSight(&world->Player(), &actor, &seen));
    EXPECT_TRUE(seen) << "a failed test leaves the out flag alone";
    actor.wall = false;
    actor.lineOfSight = false;
    EXPECT_TRUE(table.HasLineOfSight(&world->Player(), &actor, &seen));
    EXPECT_FALSE(seen) << "true, yet the flag says unseen";
}

TEST_F(StrictGame, MovieCallsTheMovieCannotTakeAreReported) {
    const std::string folder = test::MakeTempFolder("strict-movie");
    test::MakeFolders(folder + "\\Interface");
    test::WriteFile(folder + "\\Interface\\TarvekMenu.swf", "movie");
    world->conditions.dataFolder = folder;
    host::HostTable& table = sim::HostTable();
    host::GFxMovieView* view = nullptr;
    ASSERT_TRUE(table.LoadMovie(nullptr, nullptr, &view, "TarvekMenu", 0, 0));
    sim::SimMovieView* movie = world->FindMovie(view);
    ASSERT_NE(movie, nullptr);

    host::FlashValue three[3] = {};
    for (host::FlashValue& value : three) value.type = host::kFlashNumber;
    EXPECT_FALSE(table.InvokeMovie(view, "_root.widget.SetTargetPos", nullptr, three, 3));
    EXPECT_TRUE(Reported(sim::TakeMisuses(), "before the movie ran its first frame"));

    ++movie->advances;
    EXPECT_TRUE(table.InvokeMovie(view, "_root.widget.SetTargetPos", nullptr, three, 3));
    EXPECT_TRUE(table.InvokeMovie(view, "_root.widget.Hide", nullptr, nullptr, 0));
    EXPECT_TRUE(sim::TakeMisuses().empty());

    EXPECT_FALSE(table.InvokeMovie(view, "_root.widget.SetTargetPos", nullptr, three, 2));
    three[1].type = 0;
    EXPECT_FALSE(table.InvokeMovie(view, "_root.widget.SetTargetPos", nullptr, three, 3));
    EXPECT_FALSE(table.InvokeMovie(view, "_root.SetTargetPos", nullptr, three, 0));
    const std::vector<std::string> misuses = sim::TakeMisuses();
    EXPECT_EQ(misuses.size(), 3u);
    EXPECT_TRUE(Reported(misuses, "has no such function"));
    ASSERT_GE(world->session.movieCalls.size(), 5u);
    EXPECT_EQ(world->session.movieCalls.back().path, "_root.SetTargetPos")
        << "every call is recorded with its full path";

    table.ReleaseMovie(view);
    table.DisplayMovie(view);
    EXPECT_TRUE(Reported(sim::TakeMisuses(), "DisplayMovie on a movie view the game does not know"));
    std::uint32_t stray = 0x1234;
    table.ReleaseMenuAttachment(&stray);
    EXPECT_TRUE(Reported(sim::TakeMisuses(), "ReleaseMenuAttachment of a word the game did not give"));
}

TEST_F(StrictGame, GameCodeLeftWritableOrHalfWrittenIsReported) {
    sim::CodeSites& code = world->code;
    DWORD previous = 0;
    ASSERT_TRUE(VirtualProtect(reinterpret_cast<void*>(code.branchSiteA), 64, PAGE_EXECUTE_READWRITE, &previous));
    *reinterpret_cast<std::uint8_t*>(code.branchSiteA) = host::kOpcodeJumpRelative;  // the opcode alone
    *reinterpret_cast<std::uint8_t*>(code.branchSiteA + 40) = 0x90;                  // beyond the site
    code.CheckIntegrity();
    const std::vector<std::string> misuses = sim::TakeMisuses();
    EXPECT_TRUE(Reported(misuses, "left with protection 0x00000040"));
    EXPECT_TRUE(Reported(misuses, "half-written"));
    EXPECT_TRUE(Reported(misuses, "outside any patch site"));
    EXPECT_EQ(code.PatchedSites(), "branch A");
    // The stand-in's own pen puts the game's code back, for the world's last check.
    DWORD ignored = 0;
    VirtualProtect(reinterpret_cast<void*>(code.branchSiteA), 64, previous, &ignored);
    world = &sim::ResetWorld();
    sim::TakeMisuses();
}

TEST_F(StrictGame, ASiteHoldingOtherCodeMayNotChangeAtAll) {
    // Another build of the game: the site's instruction one byte further on. Even the jump a
    // patch would write there is misuse, named for why.
    sim::FaultSwitches faults;
    faults.strangeSite = sim::StrangeSite::kBranchB;
    Rebuild(faults);
    sim::CodeSites& code = world->code;
    EXPECT_NE(*reinterpret_cast<const std::uint8_t*>(code.branchSiteB), 0x0F) << "not the jnz a patch expects";
    EXPECT_EQ(code.RunBranchB(1, 2), sim::BranchPath::kTaken) << "the game's own code still runs";
    DWORD previous = 0;
    ASSERT_TRUE(VirtualProtect(reinterpret_cast<void*>(code.branchSiteB), 5, PAGE_EXECUTE_READWRITE, &previous));
    *reinterpret_cast<std::uint8_t*>(code.branchSiteB) = host::kOpcodeJumpRelative;
    VirtualProtect(reinterpret_cast<void*>(code.branchSiteB), 5, previous, &previous);
    code.CheckIntegrity();
    EXPECT_TRUE(Reported(sim::TakeMisuses(), "although its site holds code the plugin does not know"));
    Rebuild({});
    sim::TakeMisuses();
}

TEST_F(StrictGame, APatchSiteCanRefuseEveryChangeOfProtection) {
    using Site = sim::CodeAddress (*)(sim::World&);
    const std::pair<sim::RefusedSite, Site> cases[] = {
        {sim::RefusedSite::kFrameCall, [](sim::World& w) { return w.code.frameCallSite; }},
        {sim::RefusedSite::kBranchA, [](sim::World& w) { return w.code.branchSiteA; }},
        {sim::RefusedSite::kBranchB, [](sim::World& w) { return w.code.branchSiteB; }},
        {sim::RefusedSite::kTargetUpdateSlot, [](sim::World& w) { return w.code.targetUpdateSlot; }},
        {sim::RefusedSite::kFreezeSlot,
         [](sim::World& w) {
             return reinterpret_cast<sim::CodeAddress>(&w.AddMenuSink(sim::kFreezeHandlerDecorated)->vtable[1]);
         }},
    };
    const auto writable = [](sim::CodeAddress at) {
        DWORD previous = 0, ignored = 0;
        if (!VirtualProtect(reinterpret_cast<void*>(at), 4, PAGE_EXECUTE_READWRITE, &previous)) return false;
        VirtualProtect(reinterpret_cast<void*>(at), 4, previous, &ignored);
        return true;
    };
    for (const auto& [refused, site] : cases) {
        Rebuild({});
        EXPECT_TRUE(writable(site(*world))) << "in a plain world every site can be made writable";
        sim::FaultSwitches faults;
        faults.refusedSite = refused;
        Rebuild(faults);
        EXPECT_FALSE(writable(site(*world)));
    }
}

TEST_F(StrictGame, EveryFaultHasANameThatSwitchesItOn) {
    for (const sim::FaultDeclaration& fault : sim::FaultDeclarations()) {
        sim::FaultSwitches faults;
        EXPECT_TRUE(sim::SwitchOnFault(fault.name, faults)) << fault.name;
        const bool changed = faults.refusedSite != sim::RefusedSite::kNone ||
                             faults.strangeSite != sim::StrangeSite::kNone || (fault.flag && faults.*fault.flag);
        EXPECT_TRUE(changed) << fault.name << " switches nothing on";
    }
    sim::FaultSwitches faults;
    EXPECT_FALSE(sim::SwitchOnFault("no-such-fault", faults));

    sim::FaultSwitches none;
    none.noMenuManager = none.noScaleformManager = none.noUiMessageQueue = none.noLockCueForm = true;
    Rebuild(none);
    const host::HostTable& table = sim::HostTable();
    EXPECT_EQ(table.GetMenuManagerSingleton(), nullptr);
    EXPECT_EQ(*table.ScaleformManager, nullptr);
    EXPECT_EQ(*table.UIMessageQueue, nullptr);
    EXPECT_EQ(table.LookupFormById(host::kLockCueSoundFormId), nullptr);
}

TEST_F(StrictGame, TheFirstPersonNodeCarriesItsOwnPitchAndRoll) {
    const float heading = 0.7f, pitch = 0.3f, roll = -0.2f;
    const CameraAngles angles = AnglesFromRotation(sim::FirstPersonRotation(heading, pitch, roll));
    EXPECT_NEAR(angles.heading, heading, 1e-6);
    EXPECT_NEAR(angles.pitch, pitch, 1e-6);
    EXPECT_NEAR(angles.roll, roll, 1e-6);
    const host::NiMatrix3 unrolled = sim::FirstPersonRotation(heading, pitch, 0.0f);
    const host::NiMatrix3 plain = sim::FirstPersonRotation(heading, pitch);
    EXPECT_EQ(std::memcmp(&unrolled, &plain, sizeof plain), 0);
}

}  // namespace

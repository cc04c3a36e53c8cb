// The patches written into the stand-in's real x86 code and then executed.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/Instructions.h"
#include "host/MsvcAbi.h"
#include "host/PatchedRecords.h"
#include "host/Host.h"
#include "plugin/TarvekPlugin.h"
#include "sim/game/Heaps.h"
#include "support/ScopedEntry.h"
#include "support/Scenes.h"
#include "support/WorldFixture.h"
#include "patches/ForcedBranchAPatch.h"
#include "patches/ForcedBranchBPatch.h"
#include "patches/FrameCallPatch.h"
#include "patches/FreezeFilterPatch.h"
#include "patches/SinkTypeName.h"
#include "patches/TargetUpdatePatch.h"

namespace {

struct HookCall {
    void* object;
    CodeAddress returnAddress;  // read through the slot while the frame still holds it
    std::size_t calleeCallsBefore;
};
std::vector<HookCall> hookCalls;

void RecordingHook(void* object, void* returnSlot) {
    hookCalls.push_back({object, *static_cast<CodeAddress*>(returnSlot), sim::TheWorld().code.calleeCalls.size()});
}

CodeAddress Destination(CodeAddress site) {
    std::int32_t displacement = 0;
    std::memcpy(&displacement, reinterpret_cast<const void*>(site + 1), 4);
    return site + 5 + displacement;
}

std::uint8_t Opcode(CodeAddress site) { return *reinterpret_cast<const std::uint8_t*>(site); }

class Patches : public test::WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        hookCalls.clear();
    }
    sim::CodeSites& code() { return world->code; }
    void LockOn(host::ActorHandle handle) {
        lock.targetHandle = handle;
        LockState.markerMenu = &lock;
    }
    TargetLock lock;
};

TEST_F(Patches, TheFrameHookRunsFirstThenTheGamesOwnCalleeUnchanged) {
    code().RunFrame(&lock, 11, 22);
    ASSERT_EQ(code().calleeCalls.size(), 1u);
    const sim::FrameCalleeCall before = code().calleeCalls[0];
    EXPECT_EQ(before.returnAddress, code().frameCallSite + 5);
    const CodeAddress callee = Destination(code().frameCallSite);

    EXPECT_TRUE(FrameCallPatch::Install(&RecordingHook));
    EXPECT_EQ(FrameHookNext, callee);
    EXPECT_TRUE(FrameCallPatch::Install(&RecordingHook));
    EXPECT_EQ(FrameHookNext, callee) << "installed twice, the trampoline never becomes its own callee";
    EXPECT_EQ(Opcode(code().frameCallSite), host::kOpcodeCallRelative);
    EXPECT_EQ(Destination(code().frameCallSite), reinterpret_cast<CodeAddress>(&FrameTrampoline));

    code().RunFrame(&lock, 33, 44);
    ASSERT_EQ(hookCalls.size(), 1u);
    EXPECT_EQ(hookCalls[0].object, &lock);
    EXPECT_EQ(hookCalls[0].calleeCallsBefore, 1u) << "the hook runs before the game's callee";
    EXPECT_EQ(hookCalls[0].returnAddress, code().frameCallSite + 5);
    ASSERT_EQ(code().calleeCalls.size(), 2u);
    const sim::FrameCalleeCall after = code().calleeCalls[1];
    EXPECT_EQ(after.object, &lock);
    EXPECT_EQ(after.first, 33u);
    EXPECT_EQ(after.second, 44u);
    EXPECT_EQ(after.returnAddress, code().frameCallSite + 5) << "the callee returns straight to the game";
}

TEST_F(Patches, SitesThatCannotBeReadWholeAreLeftWhole) {
    EXPECT_EQ(WriteRelativeJump(code().unwritableSite, 0x1000, host::kFrameCallSiteBytes), std::nullopt);
    const CodeAddress half = code().halfWritableSite;
    EXPECT_EQ(WriteRelativeJump(half, 0x1000, host::kFrameCallSiteBytes), std::nullopt);
    EXPECT_EQ(Opcode(half), host::kOpcodeCallRelative) << "the opcode is not written alone";

    host::HostTable& table = sim::HostTable();
    table.FrameCallSite = half;
    EXPECT_FALSE(FrameCallPatch::Install(&RecordingHook));
    EXPECT_EQ(FrameHookNext, 0u);
    code().Publish(table);
}

TEST_F(Patches, TheWriterTouchesOnlyWhatItExpectsAndAnswersWhatItReplaced) {
    // Branch site A holds a test, not the jnz of site B: nothing is written, nothing answered.
    const std::vector<std::uint8_t> before(reinterpret_cast<const std::uint8_t*>(code().branchSiteA),
                                           reinterpret_cast<const std::uint8_t*>(code().branchSiteA) + 7);
    CodeAddress kept = 0x1234;
    EXPECT_EQ(WriteRelativeJump(code().branchSiteA, 0x1000, host::kBranchSiteBBytes, &kept), std::nullopt);
    EXPECT_EQ(kept, 0u) << "nothing written, nothing to continue in";
    EXPECT_TRUE(std::equal(before.begin(), before.end(), reinterpret_cast<const std::uint8_t*>(code().branchSiteA)));
    EXPECT_TRUE(SiteHolds(code().branchSiteA, host::kBranchSiteABytes));
    EXPECT_FALSE(SiteHolds(0, host::kBranchSiteABytes));

    // A table entry that holds data, not code, is not a game table this plugin knows.
    const CodeAddress data = reinterpret_cast<CodeAddress>(&kept);
    CodeAddress slot = data;
    EXPECT_EQ(ReplaceTableEntry(reinterpret_cast<CodeAddress>(&slot), 0x1000), std::nullopt);
    EXPECT_EQ(slot, data);
    const CodeAddress own = *reinterpret_cast<CodeAddress*>(code().targetUpdateSlot);
    EXPECT_EQ(ReplaceTableEntry(code().targetUpdateSlot, AddressOf(&LockedTargetUpdate), &kept), own);
    EXPECT_EQ(kept, own);
    EXPECT_EQ(*reinterpret_cast<CodeAddress*>(code().targetUpdateSlot), AddressOf(&LockedTargetUpdate));
}

DWORD ProtectionAt(const void* address) {
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(address, &info, sizeof info);
    return info.Protect;
}

TEST_F(Patches, ASiteAcrossTwoPagesIsWrittenWholeAndEachPageGetsItsOwnProtectionBack) {
    // Code on one page, read-only data on the next; the site's last two bytes cross over.
    constexpr std::size_t kPage = 0x1000;
    auto* pages =
        static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 2 * kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    const auto site = reinterpret_cast<CodeAddress>(pages + kPage - 3);
    std::memcpy(pages + kPage - 3, "\xE8\x10\x20\x30\x40", 5);
    DWORD previous = 0;
    VirtualProtect(pages, kPage, PAGE_EXECUTE_READ, &previous);
    VirtualProtect(pages + kPage, kPage, PAGE_READONLY, &previous);

    EXPECT_EQ(WriteRelativeJump(site, site + 0x100, host::kFrameCallSiteBytes), site + 5 + 0x40302010);
    EXPECT_EQ(Opcode(site), host::kOpcodeJumpRelative);
    EXPECT_EQ(Destination(site), site + 0x100);
    EXPECT_EQ(ProtectionAt(pages), static_cast<DWORD>(PAGE_EXECUTE_READ));
    EXPECT_EQ(ProtectionAt(pages + kPage), static_cast<DWORD>(PAGE_READONLY)) << "the next page is not left writable";
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST_F(Patches, ABranchWithoutItsResumePointsIsNotPatched) {
    host::HostTable& table = sim::HostTable();
    const std::uint8_t siteA = Opcode(code().branchSiteA);
    {
        test::ScopedEntry noResume(table.ForcedBranchATaken, CodeAddress{0});
        EXPECT_FALSE(ForcedBranchAPatch::Install());
        EXPECT_TRUE(ForcedBranchBPatch::Install());
    }
    EXPECT_EQ(Opcode(code().branchSiteA), siteA) << "a jump with nowhere to resume would crash the game";
    EXPECT_EQ(Opcode(code().branchSiteB), host::kOpcodeJumpRelative);
    EXPECT_EQ(code().RunBranchA(*std::make_unique<host::BranchSiteAObject>()), sim::BranchPath::kFallThrough);
}

TEST_F(Patches, AFailedSaveOfTheFreezeEntryLeavesTheGamesHandlerHearing) {
    sim::ForeignSink* freeze = world->AddMenuSink(sim::kFreezeHandlerDecorated);
    sim::HostAllocator().FailNextAllocations(1);  // the saved-entry map cannot grow
    EXPECT_FALSE(FreezeFilterPatch::Install(&world->menuManager.menuOpenCloseSource));
    EXPECT_TRUE(FreezeHandlerSaved.empty());
    EXPECT_EQ(world->menuManager.menuOpenCloseSource.lock.owner, 0) << "the source's lock is let go";
    world->SendMenuEvent("Inventory Menu", true);
    ASSERT_EQ(code().sinkCalls.size(), 1u) << "not deaf: the table still holds the game's entry";
    EXPECT_EQ(code().sinkCalls[0].sinkId, freeze->id);

    sim::HostAllocator().FailNextAllocations(1);
    world = &sim::ResetWorld();
    FreezeHandlerSaved.clear();
    gPlugin.OnModLoaded();
    EXPECT_EQ(world->code.PatchedSites(), "frame call, target-update entry, branch A, branch B")
        << "the rest of the switch-on still happens";
}

TEST_F(Patches, TheTargetUpdateDecisionReadsTheLockOnceWhileTheMenuComesAndGoes) {
    sim::SimActor& target = AddActor({0, 500, 0});
    ASSERT_TRUE(TargetUpdatePatch::Install());
    lock.targetHandle = target.handle;
    std::atomic<bool> done{false};
    std::thread menuThread([&] {  // the game opening and closing the marker menu meanwhile
        TargetLock* volatile& published = LockState.markerMenu;
        while (!done) {
            published = &lock;
            published = nullptr;
        }
    });
    host::TargetUpdateObject object{};
    for (int call = 0; call < 1000000; ++call) {
        object.targetHandle = sim::kEmptyHandle;
        code().CallTargetUpdate(object, 0);
        ASSERT_TRUE(object.targetHandle == target.handle || object.targetHandle == sim::kEmptyHandle);
    }
    done = true;
    menuThread.join();
    LockState.markerMenu = nullptr;
}

TEST_F(Patches, WriteRelativeJumpReturnsTheOldDestination) {
    // Site B holds "jnz rel32" (0F 85): the old "displacement" is read from bytes 1 to 4.
    const CodeAddress site = code().branchSiteB;
    const CodeAddress old = Destination(site);
    EXPECT_EQ(WriteRelativeJump(site, reinterpret_cast<CodeAddress>(&ForcedBranchB), host::kBranchSiteBBytes), old);
    EXPECT_EQ(Opcode(site), host::kOpcodeJumpRelative);
    EXPECT_EQ(Destination(site), reinterpret_cast<CodeAddress>(&ForcedBranchB));
}

TEST_F(Patches, TheTargetUpdateEntryFollowsTheLock) {
    host::TargetUpdateObject object{};
    object.targetHandle = 0x1234;
    const CodeAddress own = *reinterpret_cast<CodeAddress*>(code().targetUpdateSlot);
    EXPECT_TRUE(TargetUpdatePatch::Install());
    EXPECT_EQ(TargetUpdatePatch::savedSlotEntry, own);
    EXPECT_TRUE(TargetUpdatePatch::Install());
    EXPECT_EQ(TargetUpdatePatch::savedSlotEntry, own) << "never saves itself";

    // Unlocked: the game's own entry chooses, and its answer is the answer.
    code().ownTarget = 0x1234;
    EXPECT_FALSE(code().CallTargetUpdate(object, 7));
    code().ownTarget = 0x5678;
    EXPECT_TRUE(code().CallTargetUpdate(object, 7));
    EXPECT_EQ(object.targetHandle, 0x5678u);
    EXPECT_EQ(code().ownTargetUpdateCalls, 2);
    object.targetChanged = 0;

    sim::SimActor& first = AddActor({0, 500, 0});
    sim::SimActor& second = AddActor({0, 600, 0});
    LockOn(first.handle);
    EXPECT_TRUE(code().CallTargetUpdate(object, 7));
    EXPECT_EQ(object.targetHandle, first.handle);
    EXPECT_EQ(object.targetChanged, 1);
    object.targetChanged = 0;
    EXPECT_FALSE(code().CallTargetUpdate(object, 7));
    EXPECT_EQ(object.targetChanged, 0);
    lock.targetHandle = second.handle;  // switched
    EXPECT_TRUE(code().CallTargetUpdate(object, 7));
    EXPECT_EQ(object.targetHandle, second.handle);
    EXPECT_EQ(code().ownTargetUpdateCalls, 2) << "the game's entry is not asked while locked";
}

TEST_F(Patches, BranchSitesResumeOnTheirSideAndKeepEveryOtherRegister) {
    ASSERT_TRUE(ForcedBranchAPatch::Install());
    ASSERT_TRUE(ForcedBranchBPatch::Install());
    auto object = std::make_unique<host::BranchSiteAObject>();
    const auto expectRegistersKept = [&](std::uint32_t ecx) {
        const sim::BranchRegisters& r = code().registers;
        EXPECT_EQ(r.ecx, ecx);
        EXPECT_EQ(r.edx, sim::kSentinelEdx);
        EXPECT_EQ(r.ebx, sim::kSentinelEbx);
        EXPECT_EQ(r.esi, sim::kSentinelEsi);
        EXPECT_EQ(r.edi, sim::kSentinelEdi);
        EXPECT_EQ(r.espAtEnd, r.espAtSite);
    };
    const auto objectEcx = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(object.get()));

    EXPECT_EQ(code().RunBranchA(*object), sim::BranchPath::kFallThrough);
    expectRegistersKept(objectEcx);
    object->flags = host::kBranchAFlag;
    EXPECT_EQ(code().RunBranchA(*object), sim::BranchPath::kTaken);
    EXPECT_EQ(code().RunBranchB(1, 1), sim::BranchPath::kFallThrough);
    expectRegistersKept(sim::kSentinelEcx);
    EXPECT_EQ(code().RunBranchB(1, 2), sim::BranchPath::kTaken);

    sim::SimActor& target = AddActor({0, 500, 0});
    LockOn(target.handle);
    object->flags = 0;
    EXPECT_EQ(code().RunBranchA(*object), sim::BranchPath::kTaken);
    expectRegistersKept(objectEcx);
    EXPECT_EQ(code().RunBranchB(1, 1), sim::BranchPath::kTaken);
    expectRegistersKept(sim::kSentinelEcx);

    lock.targetHandle = sim::kEmptyHandle;  // menu open, nothing locked
    EXPECT_EQ(code().RunBranchA(*object), sim::BranchPath::kFallThrough);
    EXPECT_EQ(code().RunBranchB(3, 3), sim::BranchPath::kFallThrough);
}

class PluginSink final : public host::BSTEventSink<host::MenuOpenCloseEvent> {
public:
    HOST_THISCALL void* DeletingDestructor(std::uint32_t) override { return this; }
    HOST_THISCALL host::EventResult ReceiveEvent(host::MenuOpenCloseEvent*,
                                                 host::BSTEventSource<host::MenuOpenCloseEvent>*) override {
        ++calls;
        return host::EventResult::kContinue;
    }
    int calls = 0;
};

TEST_F(Patches, TypeNamesAreReadOnlyWhereThereIsTypeInformation) {
    PluginSink ours;
    EXPECT_EQ(SinkTypeName(world->AddMenuSink(sim::kFreezeHandlerDecorated)), "class FreezeEventHandler");
    EXPECT_EQ(SinkTypeName(world->AddMenuSink(".?AVMenuModeChangeHandler@@")), "class MenuModeChangeHandler");
    EXPECT_EQ(SinkTypeName(world->AddMenuSink(nullptr)), host::kNoTypeInformation);
    EXPECT_NE(SinkTypeName(&ours), "class FreezeEventHandler");
    EXPECT_NE(SinkTypeName(&ours), host::kNoTypeInformation) << "our own objects name themselves";
    EXPECT_EQ(SinkTypeName(nullptr), host::kNoTypeInformation);
}

// A damaged object may point anywhere: each link is read at whatever alignment it has,
// and a table pointer too small to have a word before it names nothing.
TEST_F(Patches, TypeNamesReadThroughMisalignedAndDegenerateLinks) {
    alignas(4) std::uint8_t memory[256] = {};
    const auto at = [&](std::size_t offset) { return reinterpret_cast<CodeAddress>(memory + offset); };
    const auto put = [&](std::size_t offset, CodeAddress word) {
        const auto value = static_cast<std::uint32_t>(word);
        std::memcpy(memory + offset, &value, sizeof value);
    };
    constexpr std::size_t kObject = 1, kTable = 0x41, kLocator = 0x63, kDescriptor = 0x91;
    put(kObject, at(kTable));
    put(kTable - 4, at(kLocator));
    put(kLocator + offsetof(host::MsvcCompleteObjectLocator, typeDescriptor), at(kDescriptor));
    put(kDescriptor + offsetof(host::MsvcTypeDescriptor, typeInfoVtable), at(0xF0));  // not the game's type_info
    const char name[] = ".?AUMenuWatcher@@";
    std::memcpy(memory + kDescriptor + offsetof(host::MsvcTypeDescriptor, decoratedName), name, sizeof name);
    EXPECT_EQ(SinkTypeName(memory + kObject), "struct MenuWatcher");

    for (const CodeAddress degenerate : {CodeAddress{0}, CodeAddress{2}, CodeAddress{0xFFFFFFFE}}) {
        put(kObject, degenerate);
        EXPECT_EQ(SinkTypeName(memory + kObject), host::kNoTypeInformation) << degenerate;
    }
    put(kObject, at(kTable));
    put(kTable - 4, 0);
    EXPECT_EQ(SinkTypeName(memory + kObject), host::kNoTypeInformation) << "no locator";
}

#if !defined(_WIN32)
// Natively, the kernel's [vvar] pages are listed readable but some fault when read: a link
// into them must be refused, as a link into any page Windows would not let us read.
TEST_F(Patches, TypeNamesAreNotReadThroughPagesThatFaultWhenRead) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    CodeAddress begin = 0, end = 0;
    while (std::getline(maps, line))
        if (line.find("[vvar]") != std::string::npos) {
            unsigned long first = 0, last = 0;
            ASSERT_EQ(std::sscanf(line.c_str(), "%lx-%lx", &first, &last), 2);
            begin = first;
            end = last;
        }
    if (begin == 0) GTEST_SKIP() << "this kernel maps no [vvar] pages";
    for (CodeAddress page = begin; page < end; page += 0x1000) {
        CodeAddress object = page + 4;  // the table's word before it lies in the page
        EXPECT_EQ(SinkTypeName(&object), host::kNoTypeInformation) << std::hex << page;
        EXPECT_EQ(SinkTypeName(reinterpret_cast<void*>(page)), host::kNoTypeInformation) << std::hex << page;
    }
}
#endif

TEST_F(Patches, FreezeEventHandlerNeverSeesTheMarkerMenu) {
    sim::ForeignSink* freeze = world->AddMenuSink(sim::kFreezeHandlerDecorated);
    sim::ForeignSink* twin = world->AddMenuSink(sim::kFreezeHandlerDecorated);  // shares the table
    sim::ForeignSink* other = world->AddMenuSink(".?AVMenuModeChangeHandler@@");
    sim::ForeignSink* untyped = world->AddMenuSink(nullptr);
    PluginSink ours;
    sim::AddSink(world->menuManager.menuOpenCloseSource, &ours);
    const CodeAddress freezeEntry = reinterpret_cast<CodeAddress>(freeze->vtable[host::kReceiveEventSlot]);

    FreezeFilterPatch::Install(&world->menuManager.menuOpenCloseSource);
    EXPECT_EQ(world->menuManager.menuOpenCloseSource.lock.owner, 0);
    ASSERT_EQ(FreezeHandlerSaved.size(), 1u);
    EXPECT_EQ(FreezeHandlerSaved.begin()->second, freezeEntry) << "the game's entry, never the filter";

    world->SendMenuEvent("Tarvek Menu", true);
    world->SendMenuEvent("Tarvek Menu", false);
    std::vector<int> reached;
    for (const sim::ForeignSinkCall& call : code().sinkCalls) reached.push_back(call.sinkId);
    EXPECT_EQ(reached, (std::vector<int>{other->id, untyped->id, other->id, untyped->id}));
    EXPECT_EQ(ours.calls, 2);

    code().sinkCalls.clear();
    code().sinkResult = host::EventResult::kStop;
    world->SendMenuEvent("Inventory Menu", true);
    ASSERT_EQ(code().sinkCalls.size(), 1u) << "FreezeEventHandler's own answer stops the dispatch";
    EXPECT_EQ(code().sinkCalls[0].sinkId, freeze->id);
    (void)twin;
    sim::RemoveSink(world->menuManager.menuOpenCloseSource, &ours);  // it goes with this scope
}

TEST_F(Patches, WithoutAFreezeEventHandlerNothingIsPatched) {
    world->AddMenuSink(".?AVMenuModeChangeHandler@@");
    FreezeFilterPatch::Install(&world->menuManager.menuOpenCloseSource);
    FreezeFilterPatch::Install(nullptr);
    EXPECT_TRUE(FreezeHandlerSaved.empty());

    host::MenuOpenCloseEvent event{};
    sim::ForeignSink stray{nullptr, 0};
    void* strayTable[2] = {nullptr, nullptr};
    stray.vtable = strayTable;
    EXPECT_EQ(FreezeHandlerFilter(&stray, &event, nullptr), host::EventResult::kContinue) << "no saved entry: continue";
}

// A site whose pages refuse protection, or that holds code this plugin does not know (another
// build of the game): that patch is not installed and its bytes and pages stay the game's,
// while every other patch is installed and the game's code still runs.
struct SiteFault {
    const char* name;
    sim::RefusedSite refused;
    sim::StrangeSite strange;
    const char* patched;  // what the stand-in finds changed
};

class PatchSiteFaults : public test::WorldTest, public ::testing::WithParamInterface<SiteFault> {
protected:
    void TearDown() override {
        sim::Faults() = {};
        WorldTest::TearDown();
    }
};

TEST_P(PatchSiteFaults, TheSiteStaysTheGamesWhileTheOthersAreInstalled) {
    const SiteFault& fault = GetParam();
    sim::Faults().refusedSite = fault.refused;
    sim::Faults().strangeSite = fault.strange;
    world = &scenes::FreshWorld();
    world->AddMenuSink(sim::kFreezeHandlerDecorated);
    gPlugin.OnModLoaded();
    EXPECT_EQ(world->code.PatchedSites(), fault.patched);
    if (fault.refused == sim::RefusedSite::kTargetUpdateSlot) {
        EXPECT_EQ(TargetUpdatePatch::savedSlotEntry, 0u);
    }
    if (fault.refused == sim::RefusedSite::kFrameCall || fault.strange == sim::StrangeSite::kFrameCall) {
        EXPECT_EQ(FrameHookNext, 0u);
    }
    world->RunFrame();  // the game's code still runs, patched or not
    world->code.CheckIntegrity();
    EXPECT_TRUE(sim::TakeMisuses().empty()) << "pages and bytes as the game left them";
}

INSTANTIATE_TEST_SUITE_P(
    Sites, PatchSiteFaults,
    ::testing::Values(SiteFault{"FrameCallRefused", sim::RefusedSite::kFrameCall, sim::StrangeSite::kNone,
                                "target-update entry, branch A, branch B, FreezeEventHandler entry"},
                      SiteFault{"TargetUpdateSlotRefused", sim::RefusedSite::kTargetUpdateSlot, sim::StrangeSite::kNone,
                                "frame call, branch A, branch B, FreezeEventHandler entry"},
                      SiteFault{"BranchARefused", sim::RefusedSite::kBranchA, sim::StrangeSite::kNone,
                                "frame call, target-update entry, branch B, FreezeEventHandler entry"},
                      SiteFault{"BranchBRefused", sim::RefusedSite::kBranchB, sim::StrangeSite::kNone,
                                "frame call, target-update entry, branch A, FreezeEventHandler entry"},
                      SiteFault{"FreezeSlotRefused", sim::RefusedSite::kFreezeSlot, sim::StrangeSite::kNone,
                                "frame call, target-update entry, branch A, branch B"},
                      SiteFault{"FrameCallStrange", sim::RefusedSite::kNone, sim::StrangeSite::kFrameCall,
                                "target-update entry, branch A, branch B, FreezeEventHandler entry"},
                      SiteFault{"BranchAStrange", sim::RefusedSite::kNone, sim::StrangeSite::kBranchA,
                                "frame call, target-update entry, branch B, FreezeEventHandler entry"},
                      SiteFault{"BranchBStrange", sim::RefusedSite::kNone, sim::StrangeSite::kBranchB,
                                "frame call, target-update entry, branch A, FreezeEventHandler entry"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

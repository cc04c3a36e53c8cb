// The marker menu in the stand-in's interface: built by the game through the registered
// creator, driven by UI messages and draws, and switched on as the plugin does it.

#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstddef>

#include "host/Host.h"
#include "log/Log.h"
#include "plugin/TarvekPlugin.h"
#include "sim/game/EventSource.h"
#include "sim/game/Heaps.h"
#include "sim/game/Misuse.h"
#include "sim/game/StringPool.h"
#include "support/AllocationCounter.h"
#include "support/TempFiles.h"
#include "support/WorldFixture.h"
#include "targeting/Commands.h"
#include "patches/ForcedBranchAPatch.h"
#include "patches/ForcedBranchBPatch.h"
#include "patches/FrameCallPatch.h"
#include "patches/FreezeFilterPatch.h"
#include "patches/SinkTypeName.h"
#include "patches/TargetUpdatePatch.h"
#include "ui/MenuName.h"
#include "ui/Registration.h"
#include "ui/TarvekMenu.h"

namespace {

constexpr std::uint32_t kLockKey = 46, kSwitchKey = 47;

class MarkerMenu : public test::WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        dataFolder = test::MakeTempFolder("marker-data");
        test::MakeFolders(dataFolder + "\\Interface");
        test::WriteFile(dataFolder + "\\Interface\\TarvekMenu.swf", "movie");
        world->conditions.dataFolder = dataFolder;
    }

    std::uint32_t MenuSinks() { return sim::SinkCount(world->menuManager.menuOpenCloseSource); }

    // What the plugin does at the first magic effect, then the trigger menu closing.
    TarvekMenu* SwitchOnAndOpen() {
        gPlugin.OnModLoaded();
        world->OpenMenu(sim::kTriggerMenuName);
        world->CloseMenu(sim::kTriggerMenuName);
        world->RunFrame();
        return Menu();
    }
    TarvekMenu* Menu() { return static_cast<TarvekMenu*>(world->OpenInstance(kMarkerMenuName)); }

    void Press(std::uint32_t key) {
        sim::InputChain chain;
        chain.Button(host::kDeviceKeyboard, key);
        world->SendInput(chain);
    }
    std::vector<sim::MovieCall> CallsTo(const char* path) const {
        std::vector<sim::MovieCall> calls;
        for (const sim::MovieCall& call : world->session.movieCalls)
            if (call.path == path) calls.push_back(call);
        return calls;
    }

    std::string dataFolder;
};

TEST_F(MarkerMenu, LaidOutAsTheGamesMenuWithItsSinksAndLockFieldsAfterIt) {
    host::IMenu* menu = CreateTarvekMenu();
    ASSERT_NE(menu, nullptr);
    auto* marker = static_cast<TarvekMenu*>(menu);
    const auto at = [&](const void* part) {
        return static_cast<const std::byte*>(part) - reinterpret_cast<const std::byte*>(menu);
    };
    EXPECT_EQ(at(static_cast<host::BSTEventSink<host::InputEvent*>*>(marker)), 28);
    EXPECT_EQ(at(static_cast<host::BSTEventSink<host::TESDeathEvent>*>(marker)), 32);
    EXPECT_EQ(at(static_cast<host::BSTEventSink<host::MenuOpenCloseEvent>*>(marker)), 36);
    EXPECT_EQ(at(&marker->targetHandle), 40);

    // Slot 4 is the message handler, as the game calls it: a close before any open only re-arms.
    using MessageSlot = std::uint32_t(HOST_THISCALL*)(host::IMenu*, host::UIMessage*);
    host::UIMessage message{nullptr, 99, nullptr};
    EXPECT_EQ(reinterpret_cast<MessageSlot>((*reinterpret_cast<void***>(menu))[4])(menu, &message), 2u);
    // A sink's slot 0 reaches the whole menu's deleting destructor.
    const std::size_t blocks = sim::HostHeap().LiveBlocks();
    using DeleteSlot = void*(HOST_THISCALL*)(void*, std::uint32_t);
    void* deathSink = static_cast<host::BSTEventSink<host::TESDeathEvent>*>(marker);
    reinterpret_cast<DeleteSlot>((*static_cast<void***>(deathSink))[0])(deathSink, 1);
    EXPECT_EQ(sim::HostHeap().LiveBlocks(), blocks - 1);
}

TEST_F(MarkerMenu, LoadsItsMovieOrStaysInert) {
    const std::string log = dataFolder + "\\menu.log";
    gDebugLog.open(log);
    host::IMenu* loaded = CreateTarvekMenu();
    EXPECT_EQ(loaded->depth, 2);
    EXPECT_EQ(loaded->flags, 0x10802u);
    EXPECT_NE(loaded->movieView, nullptr);
    loaded->DeletingDestructor(1);
    EXPECT_TRUE(world->movies.empty()) << "the movie goes with the menu";

    DeleteFileA((dataFolder + "\\Interface\\TarvekMenu.swf").c_str());
    host::IMenu* inert = CreateTarvekMenu();
    gDebugLog.close();
    EXPECT_EQ(test::ReadFile(log), std::string("loaded Inteface/TarvekMenu.swf") + test::kTextLineEnd);
    EXPECT_EQ(inert->depth, 3);
    EXPECT_EQ(inert->flags, 0u);
    EXPECT_EQ(inert->inputContext, 18u);
    host::UIMessage open{nullptr, host::kMessageOpen, nullptr};
    EXPECT_EQ(inert->HandleUIMessage(&open), 2u) << "no movie: every message is refused";
    inert->DrawMenu();
    EXPECT_EQ(LockState.markerMenu, nullptr);
    inert->DeletingDestructor(1);

    sim::TheGame().scaleformManager = nullptr;
    host::IMenu* noManager = CreateTarvekMenu();
    EXPECT_EQ(noManager->movieView, nullptr);
    noManager->DeletingDestructor(1);
}

TEST_F(MarkerMenu, ACreatorOutOfMemoryGivesTheGameNothing) {
    sim::HostHeap().FailNextAllocations(1);
    EXPECT_EQ(CreateTarvekMenu(), nullptr);
}

TEST_F(MarkerMenu, RegistrationArmsExactlyOneSinkOrNothingWithoutAMenuManager) {
    const std::uint32_t sinks = MenuSinks();
    EXPECT_TRUE(RegisterTarvekMenu());
    EXPECT_EQ(MenuSinks(), sinks + 1);
    const host::FixedString name(kMarkerMenuName);
    EXPECT_NE(world->FindMenu(name.Handle()), nullptr);

    host::HostTable& table = sim::HostTable();
    const auto getter = table.GetMenuManagerSingleton;
    sim::TheGame().menuManager = nullptr;
    table.GetMenuManagerSingleton = nullptr;
    EXPECT_FALSE(RegisterTarvekMenu());
    table.GetMenuManagerSingleton = getter;
}

TEST_F(MarkerMenu, TheAutoOpenSinkWaitsForTheTriggerToCloseWithoutTheBlockingMenu) {
    RegisterTarvekMenu();
    const std::uint32_t armed = MenuSinks();
    world->OpenMenu(sim::kTriggerMenuName);  // opening: ignored
    world->OpenMenu("Inventory Menu");
    world->CloseMenu("Inventory Menu");  // another menu closing: ignored
    world->OpenMenu(sim::kBlockingMenuName);
    world->CloseMenu(sim::kTriggerMenuName);  // blocked
    world->RunFrame();
    EXPECT_EQ(Menu(), nullptr);
    EXPECT_EQ(MenuSinks(), armed);

    world->CloseMenu(sim::kBlockingMenuName);
    world->OpenMenu(sim::kTriggerMenuName);
    world->CloseMenu(sim::kTriggerMenuName);
    EXPECT_EQ(MenuSinks(), armed - 1) << "fired: removed and deleted";
    world->RunFrame();
    ASSERT_NE(Menu(), nullptr);
    EXPECT_EQ(LockState.markerMenu, static_cast<TargetLock*>(Menu()));
}

TEST_F(MarkerMenu, FromKeyPressToMarkerAndBack) {
    sim::SimActor& closest = AddActor({20, 600, 20});
    sim::SimActor& other = AddActor({-200, 700, 20});
    TarvekMenu* menu = SwitchOnAndOpen();
    ASSERT_NE(menu, nullptr);

    Press(kLockKey);
    EXPECT_EQ(menu->targetHandle, closest.handle);
    EXPECT_EQ(world->session.sounds.size(), 1u);

    world->RunFrame();  // tracking projects; the draw only shows the marker
    EXPECT_TRUE(menu->markerShown);
    EXPECT_EQ(world->inputHandler.enabled, 0u);
    EXPECT_TRUE(CallsTo(kSetTargetPosPath).empty());

    world->RunFrame();
    std::vector<sim::MovieCall> positions = CallsTo(kSetTargetPosPath);
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_EQ(positions[0].numbers, (std::vector<double>{menu->markerX, menu->markerY, menu->markerDistance}));
    EXPECT_FALSE(positions[0].resultRequested);
    const float heading = world->Player().rotation.z;
    EXPECT_GT(heading, 0.0f) << "turned toward the target";

    Press(kSwitchKey);
    EXPECT_EQ(menu->targetHandle, other.handle);

    world->Kill(other);
    world->RunFrame();  // the update releases; the same frame's draw hides
    world->RunFrame();
    EXPECT_EQ(menu->targetHandle, sim::kEmptyHandle);
    EXPECT_EQ(CallsTo(kHidePath).size(), 1u);
    EXPECT_EQ(world->inputHandler.enabled, 1u);
    ExpectReferencesBalanced();
}

TEST_F(MarkerMenu, PausingMenusHideTheMovieUntilNoneIsOpen) {
    TarvekMenu* menu = SwitchOnAndOpen();
    ASSERT_NE(menu, nullptr);
    auto* movie = reinterpret_cast<sim::SimMovieView*>(menu->movieView);
    world->OpenMenu("Inventory Menu");  // flag 0x1
    EXPECT_FALSE(movie->visible);
    world->OpenMenu("Console");  // flag 0x4000
    world->CloseMenu("Inventory Menu");
    EXPECT_FALSE(movie->visible) << "one hiding menu is still open";
    world->CloseMenu("Console");
    EXPECT_TRUE(movie->visible);
    world->OpenMenu("HUD Menu");
    EXPECT_TRUE(movie->visible);
}

TEST_F(MarkerMenu, ClosingDetachesReleasesHidesAndRearms) {
    AddActor({0, 600, 20});
    sim::ForeignSink* freeze = world->AddMenuSink(sim::kFreezeHandlerDecorated);
    TarvekMenu* menu = SwitchOnAndOpen();
    ASSERT_NE(menu, nullptr);
    Press(kLockKey);
    world->RunFrame();
    ASSERT_TRUE(menu->markerShown);
    const std::uint32_t inputSinks = sim::SinkCount(world->inputDispatcher);

    world->code.sinkCalls.clear();
    world->QueueMessage(kMarkerMenuName, host::kMessageClose);
    world->RunFrame();
    EXPECT_EQ(Menu(), nullptr);
    EXPECT_EQ(LockState.markerMenu, nullptr);
    EXPECT_EQ(sim::SinkCount(world->inputDispatcher), inputSinks - 1);
    EXPECT_EQ(CallsTo(kHidePath).size(), 1u);
    EXPECT_EQ(world->inputHandler.enabled, 1u);
    for (const sim::ForeignSinkCall& call : world->code.sinkCalls) EXPECT_NE(call.sinkId, freeze->id);

    world->OpenMenu(sim::kTriggerMenuName);
    world->CloseMenu(sim::kTriggerMenuName);
    world->RunFrame();
    EXPECT_NE(Menu(), nullptr) << "a new auto-open sink was armed";
}

TEST_F(MarkerMenu, RepeatedMessagesAreHarmless) {
    TarvekMenu* menu = SwitchOnAndOpen();
    ASSERT_NE(menu, nullptr);
    const std::uint32_t sinks = MenuSinks();
    host::UIMessage open{nullptr, host::kMessageOpen, nullptr};
    EXPECT_EQ(menu->HandleUIMessage(&open), 0u);
    EXPECT_EQ(MenuSinks(), sinks) << "a second open attaches nothing twice";
    host::UIMessage close{nullptr, host::kMessageClose, nullptr};
    EXPECT_EQ(menu->HandleUIMessage(&close), 0u);
    EXPECT_EQ(menu->HandleUIMessage(&close), 0u);
    EXPECT_EQ(MenuSinks(), sinks - 1 + 2) << "each close re-arms one auto-open sink";
}

TEST_F(MarkerMenu, DestroyedWithoutClosingItLeavesNothingBehind) {
    AddActor({0, 600, 20});
    TarvekMenu* menu = SwitchOnAndOpen();
    ASSERT_NE(menu, nullptr);
    Press(kLockKey);
    world->RunFrame();
    ASSERT_EQ(world->inputHandler.enabled, 0u) << "the marker shows: the game's input is off";
    const std::uint32_t armed = MenuSinks();

    world->DestroyMenu(kMarkerMenuName);  // no close message first
    EXPECT_EQ(LockState.markerMenu, nullptr);
    EXPECT_EQ(sim::SinkCount(world->inputDispatcher), 0u);
    EXPECT_EQ(sim::SinkCount(sim::TheGame().deaths), 0u);
    EXPECT_EQ(world->inputHandler.enabled, 1u) << "the player gets their input back";
    EXPECT_EQ(MenuSinks(), armed - 1 + 1) << "its menu sink is gone and an auto-open sink is armed";
    world->OpenMenu(sim::kTriggerMenuName);
    world->CloseMenu(sim::kTriggerMenuName);
    world->RunFrame();
    EXPECT_NE(Menu(), nullptr) << "so the menu comes back";
}

TEST_F(MarkerMenu, AMenuKnowsItsOwnSinksWhateverTheLockRecordSays) {
    TarvekMenu* menu = SwitchOnAndOpen();
    ASSERT_NE(menu, nullptr);
    LockState = {};              // someone else cleared the record
    world = &sim::ResetWorld();  // the game closes and destroys the menu
    EXPECT_TRUE(sim::TakeMisuses().empty()) << "no sink left in freed memory";
    world->conditions.dataFolder = dataFolder;

    // A second instance that never attached cannot detach the first one's sinks.
    gPlugin.OnModLoaded();
    auto* first = static_cast<TarvekMenu*>(CreateTarvekMenu());
    auto* second = static_cast<TarvekMenu*>(CreateTarvekMenu());
    host::UIMessage open{nullptr, host::kMessageOpen, nullptr}, close{nullptr, host::kMessageClose, nullptr};
    first->HandleUIMessage(&open);
    second->HandleUIMessage(&open);
    second->HandleUIMessage(&close);
    EXPECT_EQ(LockState.markerMenu, static_cast<TargetLock*>(first));
    EXPECT_EQ(sim::SinkCount(world->inputDispatcher), 1u);
    second->DeletingDestructor(1);
    first->HandleUIMessage(&close);
    first->DeletingDestructor(1);
    EXPECT_EQ(sim::SinkCount(world->inputDispatcher), 0u);
}

TEST_F(MarkerMenu, TheGamesOwnStepsAdvanceTheMovieAndEveryDrawShowsIt) {
    TarvekMenu* menu = SwitchOnAndOpen();
    ASSERT_NE(menu, nullptr);
    const sim::SimMovieView* movie = world->FindMovie(menu->movieView);
    ASSERT_NE(movie, nullptr);
    EXPECT_TRUE(movie->initialised) << "slot 8 handed the game the menu's own movie";
    const int advances = movie->advances, displays = movie->displays;
    world->RunFrame();
    world->RunFrame();
    EXPECT_EQ(movie->advances, advances + 2) << "slot 5 is the game's step, forwarded";
    EXPECT_EQ(movie->displays, displays + 2) << "each draw displays the movie";
}

TEST_F(MarkerMenu, AMarkerPositionThatIsNotANumberIsNotSent) {
    AddActor({0, 600, 20});
    TarvekMenu* menu = SwitchOnAndOpen();
    ASSERT_NE(menu, nullptr);
    sim::TheGame().screenWidth = 0;  // the game reports no width: X is 0/0
    sim::TheGame().screenHeight = 0;
    gScreenSize = {};
    Press(kLockKey);
    world->RunFrame();
    world->RunFrame();
    world->RunFrame();
    EXPECT_TRUE(std::isnan(menu->markerX));
    EXPECT_TRUE(CallsTo(kSetTargetPosPath).empty()) << "the movie never sees NaN";
    sim::TheGame().screenWidth = 1920;
    sim::TheGame().screenHeight = 1080;
    world->RunFrame();
    EXPECT_EQ(CallsTo(kSetTargetPosPath).size(), 1u) << "and is placed again once the size is known";
}

TEST_F(MarkerMenu, AnExceptionInTheInputSinkNeverReachesTheGamesDispatch) {
    AddActor({0, 600, 20});
    TarvekMenu* menu = SwitchOnAndOpen();
    ASSERT_NE(menu, nullptr);
    const std::uint32_t listed = world->processLists.actorCount;
    world->processLists.actorCount = 0x40000000;  // the scan's reserve cannot be had
    std::vector<int> calls;
    sim::ForeignSink* later = world->AddMenuSink(".?AVMenuModeChangeHandler@@");
    static_cast<void>(later);
    EXPECT_NO_THROW(Press(kLockKey));
    world->processLists.actorCount = listed;
    EXPECT_EQ(menu->targetHandle, sim::kEmptyHandle);
    EXPECT_TRUE(menu->visitedSet.empty());
    EXPECT_EQ(menu->stateLock.owner, 0) << "no lock left held";
    Press(kLockKey);
    EXPECT_NE(menu->targetHandle, sim::kEmptyHandle) << "and the next press works";
}

TEST_F(MarkerMenu, AFiredAutoOpenSinkIsFreed) {
    world->OpenMenu(sim::kTriggerMenuName);  // once before, so the game's own records have grown
    world->CloseMenu(sim::kTriggerMenuName);
    gPlugin.OnModLoaded();
    TargetLock openElsewhere;
    LockState.markerMenu = &openElsewhere;  // so the sink queues nothing: only its own block changes
    const long live = test::LiveAllocations();
    world->OpenMenu(sim::kTriggerMenuName);
    world->CloseMenu(sim::kTriggerMenuName);  // the armed sink fires, removes and deletes itself
    EXPECT_EQ(test::LiveAllocations(), live - 1);
    EXPECT_EQ(MenuSinks(), 0u);
    LockState.markerMenu = nullptr;
}

TEST_F(MarkerMenu, LookupByNameFindsRegisteredMenusOnly) {
    RegisterTarvekMenu();
    for (const sim::HostMenuSetup& setup : sim::kHostMenus) {
        const host::FixedString name(setup.name);
        const host::IMenu* found = LookupMenuByName(&world->menuManager, &name);
        ASSERT_NE(found, nullptr) << setup.name;
        EXPECT_EQ(found->flags, setup.flags) << setup.name;
    }
    const host::FixedString marker(kMarkerMenuName);
    EXPECT_EQ(LookupMenuByName(&world->menuManager, &marker), nullptr) << "registered, not yet built";
    const host::FixedString unknown("No Such Menu"), empty("");
    EXPECT_EQ(LookupMenuByName(&world->menuManager, &unknown), nullptr);
    EXPECT_EQ(LookupMenuByName(&world->menuManager, &empty), nullptr);
    EXPECT_EQ(LookupMenuByName(&world->menuManager, nullptr), nullptr);
    EXPECT_TRUE(sim::TakeMisuses().empty()) << "no string released twice";
}

// A chain that loops back on itself is damage, not a longer chain: the lookup gives up.
TEST_F(MarkerMenu, LookupInALoopingTableEnds) {
    host::MenuManager manager{};
    host::MenuTableEntry entries[2] = {}, sentinel{};
    entries[0].next = &entries[1];
    entries[1].next = &entries[0];
    manager.menuTable.bucketCount = 2;
    manager.menuTable.entries = entries;
    manager.menuTable.endSentinel = &sentinel;
    const host::FixedString unknown("No Such Menu");
    EXPECT_EQ(LookupMenuByName(&manager, &unknown), nullptr);
}

}  // namespace

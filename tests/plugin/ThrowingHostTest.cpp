// Every entry of the host table made to throw, one entry at a time, the first time the
// plugin calls it: every callback the game makes into the plugin still returns to the
// game, with its neutral answer where it has to give up, and the session goes on.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "host/Host.h"
#include "plugin/Framework.h"
#include "sim/game/EventSource.h"
#include "sim/game/Heaps.h"
#include "sim/game/Misuse.h"
#include "support/TempFiles.h"
#include "support/WorldFixture.h"
#include "targeting/LockState.h"
#include "patches/ForcedBranchAPatch.h"
#include "patches/ForcedBranchBPatch.h"
#include "patches/FrameCallPatch.h"
#include "patches/FreezeFilterPatch.h"
#include "patches/SinkTypeName.h"
#include "patches/TargetUpdatePatch.h"
#include "ui/MenuName.h"
#include "ui/TarvekMenu.h"

namespace {

// A stand-in for one entry: throws the first time, then is the stand-in's own entry again.
template <auto Member, class Entry = std::remove_reference_t<decltype(std::declval<host::HostTable&>().*Member)>>
struct ThrowingEntry;

template <auto Member, class Result, class... Args>
struct ThrowingEntry<Member, Result(HOST_CDECL*)(Args...)> {
    static inline Result(HOST_CDECL* own)(Args...) = nullptr;
    static inline int throwsLeft = 0;
    static Result HOST_CDECL Call(Args... args) {
        if (throwsLeft > 0 && throwsLeft--) throw std::bad_alloc();
        return own(args...);
    }
};

template <auto Member, class Result, class... Args>
struct ThrowingEntry<Member, Result(HOST_THISCALL*)(Args...)> {
    static inline Result(HOST_THISCALL* own)(Args...) = nullptr;
    static inline int throwsLeft = 0;
    static Result HOST_THISCALL Call(Args... args) {
        if (throwsLeft > 0 && throwsLeft--) throw std::bad_alloc();
        return own(args...);
    }
};

struct Throwing {
    const char* name;
    std::function<void()> arm;     // the entry throws at its next call
    std::function<void()> disarm;  // the stand-in's own entry again
    std::function<bool()> thrown;  // whether the plugin called it while armed
    // Its one failed call cannot but leave something unreleased (a reference, a string, a block).
    bool releases;
};

// Failure messages and the test list name the entry.
void PrintTo(const Throwing& entry, std::ostream* out) { *out << entry.name; }

template <auto Member>
Throwing Make(const char* name, bool releases = false) {
    using Stub = ThrowingEntry<Member>;
    return {name,
            [] {
                host::HostTable& table = sim::HostTable();
                Stub::own = table.*Member;
                Stub::throwsLeft = 1;
                table.*Member = &Stub::Call;
            },
            [] {
                sim::HostTable().*Member = Stub::own;
                Stub::throwsLeft = 0;
            },
            [] { return Stub::throwsLeft == 0; }, releases};
}

using T = host::HostTable;
const std::vector<Throwing>& Entries() {
    static const std::vector<Throwing> entries = {
        Make<&T::GetMenuManagerSingleton>("GetMenuManagerSingleton"),
        Make<&T::GetPlayerCameraSingleton>("GetPlayerCameraSingleton"),
        Make<&T::GetInputEventDispatcherSingleton>("GetInputEventDispatcherSingleton"),
        Make<&T::GetPlayerControlsSingleton>("GetPlayerControlsSingleton"),
        Make<&T::GetControlStateSingleton>("GetControlStateSingleton"),
        Make<&T::LookupReferenceByHandle>("LookupReferenceByHandle"),
        Make<&T::DropReference>("DropReference", true),
        Make<&T::CreateRefHandle>("CreateRefHandle"),
        Make<&T::GetActorRootNode>("GetActorRootNode"),
        Make<&T::IsDead>("IsDead"),
        Make<&T::IsHostileTo>("IsHostileTo"),
        Make<&T::HasLineOfSight>("HasLineOfSight"),
        Make<&T::IsHostBusy>("IsHostBusy"),
        Make<&T::IsFemaleActorBase>("IsFemaleActorBase"),
        Make<&T::GetActorFallbackAimPosition>("GetActorFallbackAimPosition"),
        Make<&T::FindNodeByName>("FindNodeByName"),
        Make<&T::GetStateCameraPosition>("GetStateCameraPosition"),
        Make<&T::SetActorHeading>("SetActorHeading"),
        Make<&T::SetActorPitch>("SetActorPitch"),
        Make<&T::IsGamepadEnabled>("IsGamepadEnabled"),
        Make<&T::LookupFormById>("LookupFormById"),
        Make<&T::PlaySoundAt>("PlaySoundAt"),
        Make<&T::CreateFixedString>("CreateFixedString"),
        Make<&T::CopyFixedString>("CopyFixedString"),
        Make<&T::ReleaseFixedString>("ReleaseFixedString", true),
        Make<&T::HashFixedString>("HashFixedString", true),
        Make<&T::HostHeapAllocate>("HostHeapAllocate"),
        Make<&T::HostHeapFree>("HostHeapFree", true),
        Make<&T::HostAllocate>("HostAllocate"),
        Make<&T::HostFree>("HostFree", true),
        Make<&T::AddEventSink>("AddEventSink"),
        Make<&T::RemoveEventSink>("RemoveEventSink", true),
        Make<&T::HostDynamicCast>("HostDynamicCast"),
        Make<&T::RegisterMenu>("RegisterMenu"),
        Make<&T::IsMenuOpen>("IsMenuOpen"),
        Make<&T::QueueUIMessage>("QueueUIMessage"),
        Make<&T::LoadMovie>("LoadMovie"),
        Make<&T::ReleaseMenuAttachment>("ReleaseMenuAttachment", true),
        Make<&T::InvokeMovie>("InvokeMovie"),
        Make<&T::DisplayMovie>("DisplayMovie"),
        Make<&T::SetMovieVisible>("SetMovieVisible"),
        Make<&T::IsMovieVisible>("IsMovieVisible"),
        Make<&T::ReleaseMovie>("ReleaseMovie", true),
        Make<&T::ReleaseFlashValue>("ReleaseFlashValue"),
        Make<&T::MenuAdvanceMovieDefault>("MenuAdvanceMovieDefault"),
        Make<&T::MenuInitMovieDefault>("MenuInitMovieDefault"),
        Make<&T::HostTypeInfoName>("HostTypeInfoName"),
    };
    return entries;
}

// One fresh world a case: the session played with one entry armed.
class ThrowingHost : public test::WorldTest, public ::testing::WithParamInterface<Throwing> {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        dataFolder = test::MakeTempFolder("throwing-host");
        test::MakeFolders(dataFolder + "\\Interface");
        test::WriteFile(dataFolder + "\\Interface\\TarvekMenu.swf", "movie");
    }

    void Press(std::uint32_t key) {
        sim::InputChain chain;
        chain.Button(host::kDeviceKeyboard, key);
        world->SendInput(chain);
    }

    // A whole session, every callback the game makes: switch-on (through the one-shot
    // magic-effect sink), the auto-open sink, the menu's creator, messages, draws and
    // sinks, the frame hook, the patched game code, the FreezeEventHandler filter.
    void PlaySession() {
        world->conditions.dataFolder = dataFolder;
        world->AddMenuSink(sim::kFreezeHandlerDecorated);
        gSettings.OnlyHostile = true;  // so hostility is asked
        AddActor({40, 600, 20});
        sim::ActorSetup noNodes;
        noNodes.nodes.clear();  // aimed at through the game's own fallback
        AddActor({-200, 700, 20}, noNodes);
        ASSERT_TRUE(SKSEPlugin_Load(nullptr));
        host::TESMagicEffectApplyEvent applied{};
        sim::Send(sim::TheGame().magicEffectApplied, applied);
        world->OpenMenu(sim::kTriggerMenuName);
        world->CloseMenu(sim::kTriggerMenuName);
        world->RunFrame();
        Press(46);
        world->RunFrame();
        world->RunFrame();
        Press(47);
        world->RunFrame();
        world->OpenMenu("Inventory Menu");
        world->CloseMenu("Inventory Menu");
        world->Kill(world->Player());
        world->RunFrame();
        world->QueueMessage(kMarkerMenuName, host::kMessageClose);
        world->RunFrame();
        FreezeHandlerSaved.clear();  // as the module's unload gives its storage back
    }

    std::string dataFolder;
};

// An entry the session never reaches proves nothing: only these may stay uncalled. The
// plugin sends the movie numbers only (never managed values).
bool MayStayUncalled(const std::string& name) {
    static const std::vector<std::string> unused = {"ReleaseFlashValue"};
    return std::find(unused.begin(), unused.end(), name) != unused.end();
}

TEST_P(ThrowingHost, EveryCallbackReturnsToTheGame) {
    const Throwing& entry = GetParam();
    entry.arm();
    EXPECT_NO_THROW(PlaySession()) << entry.name << " threw through a callback into the game";
    const bool thrown = entry.thrown();
    entry.disarm();
    EXPECT_TRUE(thrown || MayStayUncalled(entry.name)) << entry.name << " was never called";
    if (LockState.markerMenu != nullptr) {
        EXPECT_EQ(LockState.markerMenu->stateLock.owner, 0) << entry.name << ": a lock left held";
    }
    sim::DestroyWorld();
    std::vector<std::string> misuses = sim::TakeMisuses();
    if (!entry.releases)
        for (const std::string& misuse : misuses) ADD_FAILURE() << entry.name << " threw, then: " << misuse;
}

INSTANTIATE_TEST_SUITE_P(EachEntry, ThrowingHost, ::testing::ValuesIn(Entries()),
                         [](const ::testing::TestParamInfo<Throwing>& info) { return std::string(info.param.name); });

}  // namespace

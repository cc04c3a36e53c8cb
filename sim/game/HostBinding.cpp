// The stand-in game's side of the host table: each entry the plugin may call, with the
// results and effects the plugin relies on.

#include <cstring>
#include <memory>

#include "sim/game/Faults.h"
#include "sim/game/Game.h"
#include "sim/game/Heaps.h"
#include "sim/game/StringPool.h"
#include "sim/game/World.h"
#include "sim/game/WorldEntries.h"

namespace sim {

namespace {

const char*& HandleOf(host::FixedString* string) { return *reinterpret_cast<const char**>(string); }

host::FixedString* HOST_THISCALL CreateFixedString(host::FixedString* self, const char* text) {
    HandleOf(self) = Strings().Intern(text);
    return self;
}

host::FixedString* HOST_THISCALL CopyFixedString(host::FixedString* self, const host::FixedString* other) {
    const char* handle = other->Handle();
    if (handle) Strings().AddRef(handle);
    HandleOf(self) = handle;
    return self;
}

void HOST_THISCALL ReleaseFixedString(host::FixedString* self) {
    if (self->Handle()) Strings().Release(self->Handle());
    HandleOf(self) = nullptr;
}

std::uint32_t HOST_CDECL HashFixedString(const char* handle) {
    const auto word = reinterpret_cast<std::uintptr_t>(handle);
    const std::uint32_t hash = Crc32(&word, sizeof word);
    if (Strings().Owns(handle)) Strings().Release(handle);  // the caller handed over a reference
    return hash;
}

void* HOST_CDECL HostHeapAllocate(std::uint32_t size, std::uint32_t) { return HostHeap().Allocate(size); }
void HOST_CDECL HostHeapFree(void* block) { HostHeap().Free(block); }

struct AllocatorObject {
    std::uint32_t unused;
} allocatorObject;

void* HOST_THISCALL HostAllocate(void*, std::uint32_t size) { return HostAllocator().Allocate(size); }
void HOST_THISCALL HostFree(void*, void* block) { HostAllocator().Free(block); }

void HOST_THISCALL AddEventSink(host::EventSourceBase* source, void* sink) { AddSink(*source, sink); }

void HOST_THISCALL RemoveEventSink(host::EventSourceBase* source, void* sink) { RemoveSink(*source, sink); }

// Constructed before anything runs and never destroyed: a plugin's exit-time
// destructors may still reach the game after the program's own have run.
template <class T>
union NoDestroy {
    NoDestroy() : value() {}
    ~NoDestroy() {}
    T value;
};
NoDestroy<Game> game;

constexpr host::HostTable MakeTable() {
    host::HostTable t{};
    t.version = host::kHostTableVersion;
    t.size = sizeof(host::HostTable);
    t.MenuManagerGlobal = &game.value.menuManager;
    t.GetMenuManagerSingleton = entries::GetMenuManagerSingleton;
    t.PlayerCameraGlobal = &game.value.camera;
    t.GetPlayerCameraSingleton = entries::GetPlayerCameraSingleton;
    t.InputEventDispatcherGlobal = &game.value.inputDispatcher;
    t.GetInputEventDispatcherSingleton = entries::GetInputEventDispatcherSingleton;
    t.PlayerControlsGlobal = &game.value.playerControls;
    t.GetPlayerControlsSingleton = entries::GetPlayerControlsSingleton;
    t.ScaleformManager = &game.value.scaleformManager;
    t.UIMessageQueue = &game.value.uiMessageQueue;
    t.ControlStateGlobal = &game.value.controlState;
    t.GetControlStateSingleton = entries::GetControlStateSingleton;
    t.PlayerActorGlobal = &game.value.player;
    t.ProcessListsGlobal = &game.value.processLists;
    t.EmptyHandle = &game.value.emptyHandle;
    t.UIStringTable = &game.value.uiStrings;
    t.ScreenWidth = &game.value.screenWidth;
    t.ScreenHeight = &game.value.screenHeight;
    t.InvertLookYFlag = &game.value.invertLookY;
    t.SteeringGateFlag = &game.value.steeringGate;
    t.DeathEventSource = &game.value.deaths;
    t.MagicEffectApplyEventSource = &game.value.magicEffectApplied;
    t.LookupReferenceByHandle = entries::LookupReferenceByHandle;
    t.DropReference = entries::DropReference;
    t.CreateRefHandle = entries::CreateRefHandle;
    t.GetActorRootNode = entries::GetActorRootNode;
    t.IsDead = entries::IsDead;
    t.IsHostileTo = entries::IsHostileTo;
    t.HasLineOfSight = entries::HasLineOfSight;
    t.IsHostBusy = entries::IsHostBusy;
    t.IsFemaleActorBase = entries::IsFemaleActorBase;
    t.GetActorFallbackAimPosition = entries::GetActorFallbackAimPosition;
    t.FindNodeByName = entries::FindNodeByName;
    t.GetStateCameraPosition = entries::GetStateCameraPosition;
    t.SetActorHeading = entries::SetActorHeading;
    t.SetActorPitch = entries::SetActorPitch;
    t.IsGamepadEnabled = entries::IsGamepadEnabled;
    t.LookupFormById = entries::LookupFormById;
    t.PlaySoundAt = entries::PlaySoundAt;
    t.CreateFixedString = CreateFixedString;
    t.CopyFixedString = CopyFixedString;
    t.ReleaseFixedString = ReleaseFixedString;
    t.HashFixedString = HashFixedString;
    t.HostHeapAllocate = HostHeapAllocate;
    t.HostHeapFree = HostHeapFree;
    t.HostAllocatorObject = &allocatorObject;
    t.HostAllocate = HostAllocate;
    t.HostFree = HostFree;
    t.AddEventSink = AddEventSink;
    t.RemoveEventSink = RemoveEventSink;
    t.HostDynamicCast = entries::HostDynamicCast;
    t.InputEventType = entries::kInputEventType;
    t.ButtonEventType = entries::kButtonEventType;
    t.ThumbstickEventType = entries::kThumbstickEventType;
    t.IsMenuOpen = entries::IsMenuOpen;
    t.RegisterMenu = entries::RegisterMenu;
    t.QueueUIMessage = entries::QueueUIMessage;
    t.LoadMovie = entries::LoadMovie;
    t.ReleaseMenuAttachment = entries::ReleaseMenuAttachment;
    t.InvokeMovie = entries::InvokeMovie;
    t.DisplayMovie = entries::DisplayMovie;
    t.SetMovieVisible = entries::SetMovieVisible;
    t.IsMovieVisible = entries::IsMovieVisible;
    t.ReleaseMovie = entries::ReleaseMovie;
    t.MenuAdvanceMovieDefault = entries::MenuAdvanceMovieDefault;
    t.MenuInitMovieDefault = entries::MenuInitMovieDefault;
    t.HostTypeInfoName = HostTypeInfoName;
    t.HostTypeInfoVtable = kHostTypeInfoVtable;
    t.HostTypeNameList = hostTypeNameList;
    return t;
}

// Constant-initialised, so it is complete before any static object of a plugin asks.
constinit host::HostTable table = MakeTable();

}  // namespace

Game& TheGame() { return game.value; }

host::HostTable& HostTable() { return table; }

void ExportHostTable(bool exported) { VeldrinHostTable = exported ? &table : nullptr; }

void ResetGame() {
    AbandonSinks(game.value.magicEffectApplied);
    AbandonSinks(game.value.deaths);
    std::destroy_at(&game.value);
    std::construct_at(&game.value);
    table = MakeTable();
    ExportHostTable(true);
    Faults() = {};
    HostHeap().FailNextAllocations(0);
    HostAllocator().FailNextAllocations(0);
}

}  // namespace sim

constinit host::HostTable* VeldrinHostTable = &sim::table;

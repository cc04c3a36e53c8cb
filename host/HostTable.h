#pragma once
// The one table of game entry points and globals. The executable that loads the plugin
// exports a pointer to it under kHostTableExport; the plugin reaches the game only
// through it (see host/Host.h). An entry left null is never called.

#include <cstdint>

#include "host/Camera.h"
#include "host/CallingConventions.h"
#include "host/Events.h"
#include "host/FixedString.h"
#include "host/Forms.h"
#include "host/Input.h"
#include "host/Scene.h"
#include "host/Ui.h"

namespace host {

inline constexpr const char kHostTableExport[] = "VeldrinHostTable";

// Bumped whenever an entry is added, moved or retyped; a host built against another
// layout is refused.
inline constexpr std::uint32_t kHostTableVersion = 2;

struct HostTable {
    std::uint32_t version;  // kHostTableVersion of the host's build
    std::uint32_t size;     // sizeof(HostTable) of the host's build

    // --- Singletons: a pointer global filled by its getter on first use (host::Singleton).
    MenuManager** MenuManagerGlobal;
    MenuManager* (HOST_CDECL* GetMenuManagerSingleton)();
    PlayerCamera** PlayerCameraGlobal;
    PlayerCamera* (HOST_CDECL* GetPlayerCameraSingleton)();
    InputEventDispatcher** InputEventDispatcherGlobal;
    InputEventDispatcher* (HOST_CDECL* GetInputEventDispatcherSingleton)();
    PlayerControls** PlayerControlsGlobal;
    PlayerControls* (HOST_CDECL* GetPlayerControlsSingleton)();
    ControlState** ControlStateGlobal;
    ControlState* (HOST_CDECL* GetControlStateSingleton)();

    // --- Plain globals.
    PlayerCharacter** PlayerActorGlobal;
    ProcessLists** ProcessListsGlobal;
    const ActorHandle* EmptyHandle;
    host::UIStringTable** UIStringTable;
    host::UIMessageQueue** UIMessageQueue;
    host::ScaleformManager** ScaleformManager;
    std::uint32_t* ScreenWidth;
    std::uint32_t* ScreenHeight;
    std::uint8_t* InvertLookYFlag;
    std::uint8_t* SteeringGateFlag;
    EventSourceBase* DeathEventSource;             // BSTEventSource<TESDeathEvent>
    EventSourceBase* MagicEffectApplyEventSource;  // BSTEventSource<TESMagicEffectApplyEvent>

    // --- References and actors.
    // Counts the reference up into *out; false when the handle no longer resolves.
    bool (HOST_CDECL* LookupReferenceByHandle)(const ActorHandle* handle, TESObjectREFR** out);
    void (HOST_THISCALL* DropReference)(TESObjectREFR* reference);
    ActorHandle* (HOST_CDECL* CreateRefHandle)(ActorHandle* out, TESObjectREFR* reference);
    NiNode* (HOST_THISCALL* GetActorRootNode)(TESObjectREFR* reference);  // null: no 3D loaded
    bool (HOST_THISCALL* IsDead)(Actor* actor, bool includeDying);
    bool (HOST_THISCALL* IsHostileTo)(Actor* actor, Actor* other);
    bool (HOST_THISCALL* HasLineOfSight)(Actor* viewer, TESObjectREFR* target, bool* seen);
    bool (HOST_CDECL* IsHostBusy)();
    bool (HOST_THISCALL* IsFemaleActorBase)(TESActorBase* base);
    NiPoint3* (HOST_THISCALL* GetActorFallbackAimPosition)(TESObjectREFR* reference, NiPoint3* out);
    NiAVObject* (HOST_THISCALL* FindNodeByName)(NiAVObject* root, const FixedString* name);
    NiPoint3* (HOST_THISCALL* GetStateCameraPosition)(TESCameraState* state, NiPoint3* out);
    void (HOST_THISCALL* SetActorHeading)(Actor* actor, float heading);
    void (HOST_THISCALL* SetActorPitch)(Actor* actor, float pitch);
    bool (HOST_THISCALL* IsGamepadEnabled)(BSInputDevice* device);
    TESForm* (HOST_CDECL* LookupFormById)(std::uint32_t formId);
    void (HOST_CDECL* PlaySoundAt)(TESForm* sound, std::uint32_t flags, const NiPoint3* position, NiNode* node);

    // --- Strings and memory.
    FixedString* (HOST_THISCALL* CreateFixedString)(FixedString* self, const char* text);
    FixedString* (HOST_THISCALL* CopyFixedString)(FixedString* self, const FixedString* other);
    void (HOST_THISCALL* ReleaseFixedString)(FixedString* self);
    // Hashes a 32-bit word (a string handle or any key); consumes the reference it is given
    // when the word is a string handle.
    std::uint32_t (HOST_CDECL* HashFixedString)(const char* handle);
    void* (HOST_CDECL* HostHeapAllocate)(std::uint32_t size, std::uint32_t alignment);
    void (HOST_CDECL* HostHeapFree)(void* block);
    void* HostAllocatorObject;
    void* (HOST_THISCALL* HostAllocate)(void* allocator, std::uint32_t size);
    void (HOST_THISCALL* HostFree)(void* allocator, void* block);

    // --- Events.
    void (HOST_THISCALL* AddEventSink)(EventSourceBase* source, void* sink);
    void (HOST_THISCALL* RemoveEventSink)(EventSourceBase* source, void* sink);
    // The game's run-time cast (MSVC __RTDynamicCast) and the input type descriptors it takes.
    void* (HOST_CDECL* HostDynamicCast)(void* object, std::int32_t vfDelta, const void* sourceType,
                                        const void* targetType, std::int32_t isReference);
    const void* InputEventType;
    const void* ButtonEventType;
    const void* ThumbstickEventType;

    // --- UI and movie.
    void (HOST_THISCALL* RegisterMenu)(MenuManager* manager, const char* name, MenuCreator creator);
    bool (HOST_THISCALL* IsMenuOpen)(MenuManager* manager, const FixedString* name);
    void (HOST_THISCALL* QueueUIMessage)(host::UIMessageQueue* queue, const FixedString* name, std::uint32_t type,
                                         void* data);
    bool (HOST_THISCALL* LoadMovie)(host::ScaleformManager* manager, IMenu* menu, GFxMovieView** view,
                                    const char* name, std::uint32_t scaleMode, std::uint32_t backgroundAlpha);
    void (HOST_CDECL* ReleaseMenuAttachment)(std::uint32_t* attachment);
    bool (HOST_THISCALL* InvokeMovie)(GFxMovieView* view, const char* path, FlashValue* result,
                                      const FlashValue* args, std::uint32_t count);
    void (HOST_THISCALL* DisplayMovie)(GFxMovieView* view);
    void (HOST_THISCALL* SetMovieVisible)(GFxMovieView* view, bool visible);
    bool (HOST_THISCALL* IsMovieVisible)(GFxMovieView* view);
    void (HOST_THISCALL* ReleaseMovie)(GFxMovieView* view);
    bool (HOST_THISCALL* HandleMovieEvent)(GFxMovieView* view, const void* event);
    void (HOST_THISCALL* AddRefFlashValue)(void* objectInterface, FlashValue* value, void* data);
    void (HOST_THISCALL* ReleaseFlashValue)(void* objectInterface, FlashValue* value, void* data);
    // The game's own IMenu steps that a menu keeps unless it overrides them: slot 5 advances
    // the menu's movie by one frame (a movie that never advances never runs its script),
    // slot 8 is handed the menu and its movie view.
    void (HOST_THISCALL* MenuAdvanceMovieDefault)(IMenu* menu, float interval, std::uint32_t time);
    void (HOST_THISCALL* MenuInitMovieDefault)(IMenu* menu, GFxMovieView* view);

    // --- Type names and code patched by the plugin.
    const char* (HOST_CDECL* HostTypeInfoName)(const void* typeDescriptor, void* nameList);
    const void* HostTypeInfoVtable;  // first word of every host type descriptor
    void* HostTypeNameList;
    std::uintptr_t FrameCallSite;         // a 5-byte relative call run once per frame
    std::uintptr_t TargetUpdateSlot;      // address of a virtual-table entry
    std::uintptr_t ForcedBranchSiteA;     // 5 bytes replaced by a jump
    std::uintptr_t ForcedBranchSiteB;     // 5 bytes replaced by a jump
    std::uintptr_t ForcedBranchATaken;
    std::uintptr_t ForcedBranchAFallThrough;
    std::uintptr_t ForcedBranchBTaken;
    std::uintptr_t ForcedBranchBFallThrough;
};

}  // namespace host

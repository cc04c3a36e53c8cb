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

// Bumped whenever an entry is added, removed, moved or retyped; a host built against
// another layout is refused.
inline constexpr std::uint32_t kHostTableVersion = 3;

// Each entry says which plugin code calls it and what the plugin relies on. The plugin
// treats a null entry as "the game offers nothing here" and answers neutrally.
// Typed entries keep "Result* (CONVENTION* Name)(...)", which the formatter runs together.
// clang-format off
struct HostTable {
    // Table() refuses a table whose version or size differs from the plugin's own.
    std::uint32_t version;  // kHostTableVersion of the host's build
    std::uint32_t size;     // sizeof(HostTable) of the host's build

    // --- Singletons: a pointer global filled by its getter on first use (host::Singleton).
    // The plugin calls a getter only while its global is null and stores the answer there.
    // GetMenuManager(): the scan's and the frame update's menu gate, the menu registration,
    // the auto-open sink, the marker menu's open/close sink, the FreezeEventHandler hook.
    MenuManager** MenuManagerGlobal;
    // GetMenuManager() while the global is null: creates the menu manager (null: not yet).
    MenuManager* (HOST_CDECL* GetMenuManagerSingleton)();
    // GetPlayerCamera(): the scan, the frame update and the steering read its states and
    // field of view.
    PlayerCamera** PlayerCameraGlobal;
    // GetPlayerCamera() while the global is null: creates the camera (null: not yet).
    PlayerCamera* (HOST_CDECL* GetPlayerCameraSingleton)();
    // GetInputEventDispatcher(): the marker menu attaches its input sink to it; the
    // steering asks its gamepad device.
    InputEventDispatcher** InputEventDispatcherGlobal;
    // GetInputEventDispatcher() while the global is null: creates it (null: not yet).
    InputEventDispatcher* (HOST_CDECL* GetInputEventDispatcherSingleton)();
    // GetPlayerControls(): the marker menu turns the player's input handler off while the
    // marker shows and on again after.
    PlayerControls** PlayerControlsGlobal;
    // GetPlayerControls() while the global is null: creates them (null: not yet).
    PlayerControls* (HOST_CDECL* GetPlayerControlsSingleton)();
    // GetControlState(): the scan reads its scanBlocked byte.
    ControlState** ControlStateGlobal;
    // GetControlState() while the global is null: creates it (null: not yet).
    ControlState* (HOST_CDECL* GetControlStateSingleton)();

    // --- Plain globals: the plugin reads the value behind each, at its use.
    // Player(): the scan, the lock commands, the aim point, the frame update and the
    // steering; null before the game has a player.
    PlayerCharacter** PlayerActorGlobal;
    // GetProcessLists(): the scan walks its active actor handles.
    ProcessLists** ProcessListsGlobal;
    // EmptyHandle(): the handle of no actor; the lock starts and ends with it, the scan
    // skips it, and the commands, the frame update and the patches test the target by it.
    const ActorHandle* EmptyHandle;
    // UIStrings(): the scan's and the frame update's gate menu, the auto-open sink's
    // trigger and blocking menus; interned names, compared by handle.
    host::UIStringTable** UIStringTable;
    // The auto-open sink queues the marker menu's open message here.
    host::UIMessageQueue** UIMessageQueue;
    // The marker menu's constructor loads its movie through it; null leaves the menu inert.
    host::ScaleformManager** ScaleformManager;
    // The frame update, while its cached screen height is 0: the display width in pixels,
    // to place the marker.
    std::uint32_t* ScreenWidth;
    // Read with ScreenWidth: the display height in pixels; nonzero once the game has one.
    std::uint32_t* ScreenHeight;
    // The steering: nonzero turns the right stick's vertical offset the other way.
    std::uint8_t* InvertLookYFlag;
    // The steering: zero skips this frame's turning; the lock stays.
    std::uint8_t* SteeringGateFlag;
    // The marker menu's death sink listens here while the menu is open: the player's death
    // ends the lock.
    EventSourceBase* DeathEventSource;  // BSTEventSource<TESDeathEvent>
    // SKSEPlugin_Load attaches the one-shot sink here; the first event switches the
    // plugin on.
    EventSourceBase* MagicEffectApplyEventSource;  // BSTEventSource<TESMagicEffectApplyEvent>

    // --- References and actors.
    // LookupReference(): the scan (each active handle) and the frame update (the target).
    // Counts the reference up into *out; false when the handle no longer resolves.
    bool (HOST_CDECL* LookupReferenceByHandle)(const ActorHandle* handle, TESObjectREFR** out);
    // ReferenceGuard, on every path: counts a looked-up reference down once.
    void (HOST_THISCALL* DropReference)(TESObjectREFR* reference);
    // The lock and switch commands: writes the chosen candidate's handle into *out.
    ActorHandle* (HOST_CDECL* CreateRefHandle)(ActorHandle* out, TESObjectREFR* reference);
    // ActorRootNode(): the scan and the frame update (no 3D, no target), the aim point (nodes
    // are searched under it), the lock cue (played at the player's). Null: no 3D loaded.
    NiNode* (HOST_THISCALL* GetActorRootNode)(TESObjectREFR* reference);
    // The scan and the frame update, with includeDying true: true rules the actor out.
    bool (HOST_THISCALL* IsDead)(Actor* actor, bool includeDying);
    // The scan and the frame update, only under OnlyHostile: asked of the player toward the
    // actor; true keeps the actor.
    bool (HOST_THISCALL* IsHostileTo)(Actor* actor, Actor* other);
    // The scan, viewer the player: the actor stays a candidate only when this answers true
    // and sets *seen nonzero.
    bool (HOST_THISCALL* HasLineOfSight)(Actor* viewer, TESObjectREFR* target, bool* seen);
    // The scan's gate: true while the game is busy, and then no scan.
    bool (HOST_CDECL* IsHostBusy)();
    // The aim point: true picks the race's female skeleton path for the skeleton table.
    bool (HOST_THISCALL* IsFemaleActorBase)(TESActorBase* base);
    // FallbackAimPosition(): the aim point when no aim node is found, and the camera position
    // where the camera's own nodes give none; fills *out and answers it.
    NiPoint3* (HOST_THISCALL* GetActorFallbackAimPosition)(TESObjectREFR* reference, NiPoint3* out);
    // FindNodeByName(): the aim point searches the actor's 3D for its body part's or
    // skeleton table's node; null when there is none.
    NiAVObject* (HOST_THISCALL* FindNodeByName)(NiAVObject* root, const FixedString* name);
    // The camera position in third person (scan and frame update): fills *out with the
    // point the state's camera looks from.
    NiPoint3* (HOST_THISCALL* GetStateCameraPosition)(TESCameraState* state, NiPoint3* out);
    // The steering, once a frame while locked: sets the player's heading (radians); never
    // handed a value that is not a number.
    void (HOST_THISCALL* SetActorHeading)(Actor* actor, float heading);
    // The steering, right after the heading: sets the player's pitch (radians), likewise.
    void (HOST_THISCALL* SetActorPitch)(Actor* actor, float pitch);
    // The steering, on the dispatcher's gamepad device: true adds the right stick's offset.
    bool (HOST_THISCALL* IsGamepadEnabled)(BSInputDevice* device);
    // The lock cue, once per process: the sound form kLockCueSoundFormId, or null (no cue).
    TESForm* (HOST_CDECL* LookupFormById)(std::uint32_t formId);
    // The lock cue: plays the form at the player's position and root node (flags 0).
    void (HOST_CDECL* PlaySoundAt)(TESForm* sound, std::uint32_t flags, const NiPoint3* position, NiNode* node);

    // --- Strings and memory.
    // FixedString(text), wherever a name is made (aim-point table, marker menu name): interns
    // the text into *self with a reference of its own.
    FixedString* (HOST_THISCALL* CreateFixedString)(FixedString* self, const char* text);
    // FixedString's copy: one more reference to the same handle.
    FixedString* (HOST_THISCALL* CopyFixedString)(FixedString* self, const FixedString* other);
    // FixedString's destructor: drops the reference *self holds.
    void (HOST_THISCALL* ReleaseFixedString)(FixedString* self);
    // The menu-table lookup (LookupMenuByName, host/Menu.cpp), to pick the bucket.
    // Hashes a 32-bit word (a string handle or any key); consumes the reference it is given
    // when the word is a string handle.
    std::uint32_t (HOST_CDECL* HashFixedString)(const char* handle);
    // HeapAllocate() in the marker menu's creator: the menu's storage on the game's heap,
    // as the game expects of a menu; null when refused.
    void* (HOST_CDECL* HostHeapAllocate)(std::uint32_t size, std::uint32_t alignment);
    // HeapFree(): the creator when construction fails, and the marker menu's deleting
    // destructor; takes back a block HostHeapAllocate gave.
    void (HOST_CDECL* HostHeapFree)(void* block);
    // GameAllocator, for the FreezeEventHandler hook's map of saved entries: the object
    // HostAllocate and HostFree are called on.
    void* HostAllocatorObject;
    // GameAllocator::allocate: a block of the size asked; null when refused.
    void* (HOST_THISCALL* HostAllocate)(void* allocator, std::uint32_t size);
    // GameAllocator::deallocate: takes back a block HostAllocate gave.
    void (HOST_THISCALL* HostFree)(void* allocator, void* block);

    // --- Events.
    // host::AddEventSink(): SKSEPlugin_Load's one-shot sink, the menu registration's
    // auto-open sink, the marker menu's three sinks on its open; the sink gets every event.
    void (HOST_THISCALL* AddEventSink)(EventSourceBase* source, void* sink);
    // host::RemoveEventSink(): the same sinks, the first two from inside their own dispatch,
    // which the source must tolerate.
    void (HOST_THISCALL* RemoveEventSink)(EventSourceBase* source, void* sink);
    // The input sink's typed view of an input event as a button or thumbstick event: the
    // game's run-time cast (MSVC __RTDynamicCast), trusted for these two types.
    void* (HOST_CDECL* HostDynamicCast)(void* object, std::int32_t vfDelta, const void* sourceType,
                                        const void* targetType, std::int32_t isReference);
    // The input sink's source type for HostDynamicCast: the game's descriptor of InputEvent.
    const void* InputEventType;
    // The input sink's target type for a button event (kEventButton).
    const void* ButtonEventType;
    // The input sink's target type for a thumbstick event (kEventThumbstick).
    const void* ThumbstickEventType;

    // --- UI and movie.
    // The menu registration at switch-on: afterwards the game calls the creator whenever it
    // opens the marker menu and holds no instance of it.
    void (HOST_THISCALL* RegisterMenu)(MenuManager* manager, const char* name, MenuCreator creator);
    // IsMenuOpen(): the scan's and the frame update's gate menu, the auto-open sink's blocking
    // menu; true while the named menu is open.
    bool (HOST_THISCALL* IsMenuOpen)(MenuManager* manager, const FixedString* name);
    // The auto-open sink: queues the marker menu's open message (type kMessageOpen, no data);
    // the game later opens the menu, creating it through its creator.
    void (HOST_THISCALL* QueueUIMessage)(host::UIMessageQueue* queue, const FixedString* name, std::uint32_t type,
                                         void* data);
    // The marker menu's constructor: loads its movie into *view, scale mode and background
    // alpha 0; false leaves the menu inert.
    bool (HOST_THISCALL* LoadMovie)(host::ScaleformManager* manager, IMenu* menu, GFxMovieView** view,
                                    const char* name, std::uint32_t scaleMode, std::uint32_t backgroundAlpha);
    // IMenu's destructor: gives back the word the game attached to the menu, when nonzero.
    void (HOST_CDECL* ReleaseMenuAttachment)(std::uint32_t* attachment);
    // The marker menu's drawing: calls the movie's SetTargetPos and Hide; the result pointer
    // is always null.
    bool (HOST_THISCALL* InvokeMovie)(GFxMovieView* view, const char* path, FlashValue* result,
                                      const FlashValue* args, std::uint32_t count);
    // IMenu::DrawMenu, every frame the marker menu is open: renders its movie.
    void (HOST_THISCALL* DisplayMovie)(GFxMovieView* view);
    // The marker menu's open/close sink: hides the movie while a pausing or overlay-hiding
    // menu is open, and shows it again.
    void (HOST_THISCALL* SetMovieVisible)(GFxMovieView* view, bool visible);
    // The same sink: whether the movie is shown already.
    bool (HOST_THISCALL* IsMovieVisible)(GFxMovieView* view);
    // IMenu's destructor: drops the menu's reference to its movie.
    void (HOST_THISCALL* ReleaseMovie)(GFxMovieView* view);
    // The marker menu's drawing destroys its movie arguments as the game does: a managed
    // value gives its reference back here. Numbers are never managed.
    void (HOST_THISCALL* ReleaseFlashValue)(void* objectInterface, FlashValue* value, void* data);
    // The game's own IMenu steps, which the marker menu inherits rather than overrides.
    // IMenu::AdvanceMovie (slot 5): advances the menu's movie by one frame (a movie that
    // never advances never runs its script).
    void (HOST_THISCALL* MenuAdvanceMovieDefault)(IMenu* menu, float interval, std::uint32_t time);
    // IMenu::InitMovie (slot 8): the game's own step, handed the menu and its movie view.
    void (HOST_THISCALL* MenuInitMovieDefault)(IMenu* menu, GFxMovieView* view);

    // --- Type names and code patched by the plugin (installed by the switch-on sequence).
    // The FreezeEventHandler hook names each sink on the menu open/close source: the
    // undecorated name ("class FreezeEventHandler") of a game type descriptor.
    const char* (HOST_CDECL* HostTypeInfoName)(const void* typeDescriptor, void* nameList);
    // The same hook: the first word of every game type descriptor, which tells the game's
    // descriptors from any other.
    const void* HostTypeInfoVtable;
    // The same hook: the game's list of names, handed to HostTypeInfoName.
    void* HostTypeNameList;
    // FrameCallPatch: a 5-byte relative call run once per frame (kFrameCallSiteBytes),
    // rewritten to reach the frame update first; its old callee runs after it.
    std::uintptr_t FrameCallSite;
    // TargetUpdatePatch: address of a virtual-table entry holding code; its old value is
    // saved and still runs while no target is locked.
    std::uintptr_t TargetUpdateSlot;
    // ForcedBranchAPatch: branch A's test (kBranchSiteABytes), its first 5 bytes replaced by
    // a jump to ForcedBranchA; left alone unless both of its resume points are given.
    std::uintptr_t ForcedBranchSiteA;
    // ForcedBranchBPatch: branch B's jnz (kBranchSiteBBytes), its first 5 bytes replaced by
    // a jump to ForcedBranchB; left alone unless both of its resume points are given.
    std::uintptr_t ForcedBranchSiteB;
    // ForcedBranchA resumes here when the game's test is set or a target is locked.
    std::uintptr_t ForcedBranchATaken;
    // ForcedBranchA resumes here otherwise, as the game's code would fall through.
    std::uintptr_t ForcedBranchAFallThrough;
    // ForcedBranchB resumes here when the game's flags take the jump or a target is locked.
    std::uintptr_t ForcedBranchBTaken;
    // ForcedBranchB resumes here otherwise.
    std::uintptr_t ForcedBranchBFallThrough;
};
// clang-format on

}  // namespace host

#pragma once
// The host-table entries the stand-in world answers, defined beside the objects they answer
// for: the world's (actors, camera, controls, sounds) in World.cpp, the menus' and movies'
// in Menus.cpp. sim/game/HostBinding.cpp puts them, and its own entries (strings, heaps,
// event sinks), into the table.

#include "host/HostTable.h"

namespace sim::entries {

host::PlayerCamera* HOST_CDECL GetPlayerCameraSingleton();
host::ControlState* HOST_CDECL GetControlStateSingleton();
host::MenuManager* HOST_CDECL GetMenuManagerSingleton();
host::InputEventDispatcher* HOST_CDECL GetInputEventDispatcherSingleton();
void HOST_THISCALL SetActorHeading(host::Actor* actor, float heading);
void HOST_THISCALL SetActorPitch(host::Actor* actor, float pitch);
bool HOST_THISCALL IsGamepadEnabled(host::BSInputDevice* device);

bool HOST_CDECL LookupReferenceByHandle(const host::ActorHandle* handle, host::TESObjectREFR** out);
void HOST_THISCALL DropReference(host::TESObjectREFR* reference);
host::ActorHandle* HOST_CDECL CreateRefHandle(host::ActorHandle* out, host::TESObjectREFR* reference);
host::NiNode* HOST_THISCALL GetActorRootNode(host::TESObjectREFR* reference);
bool HOST_THISCALL IsDead(host::Actor* actor, bool includeDying);
bool HOST_THISCALL IsHostileTo(host::Actor* actor, host::Actor* other);
bool HOST_THISCALL HasLineOfSight(host::Actor* viewer, host::TESObjectREFR* target, bool* seen);
bool HOST_CDECL IsHostBusy();
bool HOST_THISCALL IsFemaleActorBase(host::TESActorBase* base);
host::NiPoint3* HOST_THISCALL GetActorFallbackAimPosition(host::TESObjectREFR* reference, host::NiPoint3* out);
host::NiAVObject* HOST_THISCALL FindNodeByName(host::NiAVObject* root, const host::FixedString* name);
host::NiPoint3* HOST_THISCALL GetStateCameraPosition(host::TESCameraState* state, host::NiPoint3* out);
host::TESForm* HOST_CDECL LookupFormById(std::uint32_t formId);
void HOST_CDECL PlaySoundAt(host::TESForm* sound, std::uint32_t flags, const host::NiPoint3* position,
                            host::NiNode* node);
bool HOST_THISCALL IsMenuOpen(host::MenuManager* manager, const host::FixedString* name);
host::PlayerControls* HOST_CDECL GetPlayerControlsSingleton();
void HOST_THISCALL RegisterMenu(host::MenuManager* manager, const char* name, host::MenuCreator creator);
void HOST_THISCALL QueueUIMessage(host::UIMessageQueue* queue, const host::FixedString* name, std::uint32_t type,
                                  void* data);
bool HOST_THISCALL LoadMovie(host::ScaleformManager* manager, host::IMenu* menu, host::GFxMovieView** view,
                             const char* name, std::uint32_t scaleMode, std::uint32_t backgroundAlpha);
void HOST_CDECL ReleaseMenuAttachment(std::uint32_t* attachment);
void HOST_THISCALL MenuAdvanceMovieDefault(host::IMenu* menu, float interval, std::uint32_t time);
void HOST_THISCALL MenuInitMovieDefault(host::IMenu* menu, host::GFxMovieView* view);
bool HOST_THISCALL InvokeMovie(host::GFxMovieView* view, const char* path, host::FlashValue* result,
                               const host::FlashValue* args, std::uint32_t count);
void HOST_THISCALL DisplayMovie(host::GFxMovieView* view);
void HOST_THISCALL SetMovieVisible(host::GFxMovieView* view, bool visible);
bool HOST_THISCALL IsMovieVisible(host::GFxMovieView* view);
void HOST_THISCALL ReleaseMovie(host::GFxMovieView* view);
void* HOST_CDECL HostDynamicCast(void* object, std::int32_t vfDelta, const void* sourceType, const void* targetType,
                                 std::int32_t isReference);

// Type descriptors of the input events, as the game's cast takes them.
extern const char kInputEventType[];
extern const char kButtonEventType[];
extern const char kThumbstickEventType[];

}  // namespace sim::entries

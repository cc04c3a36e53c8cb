#pragma once
// The marker menu: a game menu whose only content is a Flash movie with the target marker.
// It is also where the lock lives while it is open, and it listens for input, deaths and
// other menus opening and closing.

#include <cstdint>

#include "host/Events.h"
#include "host/Input.h"
#include "host/Ui.h"
#include "targeting/LockState.h"

inline constexpr char kMarkerMovieName[] = "TarvekMenu";
inline constexpr char kSetTargetPosPath[] = "_root.widget.SetTargetPos";
inline constexpr char kHidePath[] = "_root.widget.Hide";
// What a loaded marker menu tells the game about itself.
inline constexpr std::uint8_t kMarkerMenuDepth = 2;
inline constexpr std::uint32_t kMarkerMenuFlags =
    host::kMenuFlagKeptWhenClosed | host::kMenuFlagAllowsSaving | host::kMenuFlagUnk10000;
static_assert(kMarkerMenuFlags == 0x10802);

class TarvekMenu final : public host::IMenu,
                         public host::BSTEventSink<host::InputEvent*>,
                         public host::BSTEventSink<host::TESDeathEvent>,
                         public host::BSTEventSink<host::MenuOpenCloseEvent>,
                         public TargetLock {
public:
    TarvekMenu();  // loads the movie; without it the menu stays inert

    // Runs the destructor; frees the storage to the game's heap when bit 0 is set and bit 2
    // clear. Every sink sub-object's slot 0 lands here.
    HOST_THISCALL void* DeletingDestructor(std::uint32_t flags) override;
    HOST_THISCALL std::uint32_t HandleUIMessage(host::UIMessage* message) override;
    HOST_THISCALL void DrawMenu() override;

    HOST_THISCALL host::EventResult ReceiveEvent(host::InputEvent** events,
                                                 host::BSTEventSource<host::InputEvent*>*) override;
    HOST_THISCALL host::EventResult ReceiveEvent(host::TESDeathEvent* event,
                                                 host::BSTEventSource<host::TESDeathEvent>*) override;
    HOST_THISCALL host::EventResult ReceiveEvent(host::MenuOpenCloseEvent* event,
                                                 host::BSTEventSource<host::MenuOpenCloseEvent>*) override;

    void OnMenuOpened();
    void OnMenuClosed();

private:
    ~TarvekMenu();
    void* InputSink() { return static_cast<host::BSTEventSink<host::InputEvent*>*>(this); }
    void* DeathSink() { return static_cast<host::BSTEventSink<host::TESDeathEvent>*>(this); }
    void* MenuSink() { return static_cast<host::BSTEventSink<host::MenuOpenCloseEvent>*>(this); }
    void AttachSinks();
    void DetachSinks();
    void HideMarker();
    void DrawMarker();
    void FollowOtherMenu(const host::MenuOpenCloseEvent* event);

    bool sinksAttached_ = false;  // by this menu's own open, until its close or destruction
};

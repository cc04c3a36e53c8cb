#include "ui/TarvekMenu.h"

#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "host/Callback.h"
#include "host/Host.h"
#include "host/MsvcAbi.h"
#include "log/Log.h"
#include "targeting/Commands.h"
#include "ui/Registration.h"

namespace {

constexpr std::uint32_t kHidingMenuFlags = host::kMenuFlagPausesGame | host::kMenuFlagHidesOverlays;
constexpr std::uint32_t kMovieNameBufferSize = 64;

host::EventSourceBase* DeathSource() {
    const host::HostTable* t = host::Table();
    return t ? t->DeathEventSource : nullptr;
}

// The game's own player input: off while the marker is shown.
void SetInputHandler(bool enabled) {
    host::PlayerControls* controls = host::GetPlayerControls();
    if (controls == nullptr || controls->inputHandler == nullptr) return;
    controls->inputHandler->enabled = enabled ? 1 : 0;
}

void Invoke(host::GFxMovieView* view, const char* path, const host::FlashValue* args, std::uint32_t count) {
    host::Call<&host::HostTable::InvokeMovie>(view, path, static_cast<host::FlashValue*>(nullptr), args, count);
}

host::FlashValue FlashNumber(double value) {
    host::FlashValue number;
    number.type = host::kFlashNumber;
    number.payload.number = value;
    return number;
}

// Destroys values as the game's own arrays do: managed ones give back their reference.
template <std::size_t N>
void ReleaseFlashValues(host::FlashValue (&values)[N]) {
    for (host::FlashValue& value : values)
        if (value.type & host::kFlashManaged)
            host::Call<&host::HostTable::ReleaseFlashValue>(value.objectInterface, &value, value.payload.data);
}

}  // namespace

TarvekMenu::TarvekMenu() {
    char movieName[kMovieNameBufferSize];
    std::strncpy(movieName, kMarkerMovieName, sizeof movieName - 1);
    movieName[sizeof movieName - 1] = '\0';
    const host::HostTable* t = host::Table();
    host::ScaleformManager* scaleform = t && t->ScaleformManager ? *t->ScaleformManager : nullptr;
    if (scaleform == nullptr) return;
    if (!host::CallOr<&host::HostTable::LoadMovie>(false, scaleform, static_cast<host::IMenu*>(this), &movieView,
                                                   movieName, 0u, 0u))
        return;
    LogMessage("loaded Inteface/%s.swf", movieName);
    depth = kMarkerMenuDepth;
    flags = kMarkerMenuFlags;
}

TarvekMenu::~TarvekMenu() {
    // Destroyed without its close message: nothing may call into the freed menu, the
    // player gets their input back, and the menu can still come back.
    if (!sinksAttached_) return;
    if (LockState.markerMenu == this) LockState.markerMenu = nullptr;
    DetachSinks();
    if (markerShown) {
        markerShown = false;
        SetInputHandler(true);
    }
    ArmAutoOpenSink();
}

void* TarvekMenu::DeletingDestructor(std::uint32_t flags) {
    this->~TarvekMenu();
    if (host::DeletingDestructorFrees(flags)) host::HeapFree(this);
    return this;
}

std::uint32_t TarvekMenu::HandleUIMessage(host::UIMessage* message) {
    if (movieView == nullptr || message == nullptr) return host::kMessageIgnored;
    return host::NeutralOnThrow(host::kMessageIgnored, [&] {
        switch (message->type) {
            case host::kMessageOpen: OnMenuOpened(); return host::kMessageHandled;
            case host::kMessageClose: OnMenuClosed(); return host::kMessageHandled;
            default: return host::kMessageIgnored;  // the movie never receives input
        }
    });
}

void TarvekMenu::AttachSinks() {
    host::AddEventSink(host::GetInputEventDispatcher(), InputSink());
    host::AddEventSink(DeathSource(), DeathSink());
    host::AddEventSink(host::MenuOpenCloseSource(), MenuSink());
    sinksAttached_ = true;
}

void TarvekMenu::DetachSinks() {
    host::RemoveEventSink(host::GetInputEventDispatcher(), InputSink());
    host::RemoveEventSink(DeathSource(), DeathSink());
    host::RemoveEventSink(host::MenuOpenCloseSource(), MenuSink());
    sinksAttached_ = false;
}

void TarvekMenu::OnMenuOpened() {
    if (LockState.markerMenu != nullptr) return;
    LockState.rightStickX = 0;
    LockState.rightStickY = 0;
    AttachSinks();
    ReleaseTarget(*this);
    LockState.markerMenu = this;
}

void TarvekMenu::OnMenuClosed() {
    // Only the menu whose open attached the sinks lets go of them and of the lock record.
    if (sinksAttached_) {
        if (LockState.markerMenu == this) LockState.markerMenu = nullptr;
        DetachSinks();
        ReleaseTarget(*this);
        if (markerShown) HideMarker();
    }
    ArmAutoOpenSink();
}

void TarvekMenu::HideMarker() {
    markerShown = false;
    SetInputHandler(true);
    if (movieView != nullptr) Invoke(movieView, kHidePath, nullptr, 0);
}

void TarvekMenu::DrawMenu() {
    if (movieView == nullptr) return;
    host::NeutralOnThrow([&] { DrawMarker(); });
    IMenu::DrawMenu();
}

void TarvekMenu::DrawMarker() {
    if (targetHandle == host::EmptyHandle()) {
        if (markerShown) HideMarker();
    } else if (!markerShown) {
        // Shown from the next draw on, once the frame's position is known.
        markerShown = true;
        SetInputHandler(false);
    } else if (std::isfinite(markerX) && std::isfinite(markerY) && std::isfinite(markerDistance)) {
        // A position that is not a number is not sent: the marker keeps its last place.
        host::FlashValue position[] = {FlashNumber(markerX), FlashNumber(markerY), FlashNumber(markerDistance)};
        Invoke(movieView, kSetTargetPosPath, position, std::size(position));
        ReleaseFlashValues(position);
    }
}

host::EventResult TarvekMenu::ReceiveEvent(host::InputEvent** events, host::BSTEventSource<host::InputEvent*>*) {
    // A scan that cannot get its memory must not end the game's input dispatch.
    host::NeutralOnThrow([&] { HandleTargetInput(*this, events); });
    return host::EventResult::kContinue;
}

host::EventResult TarvekMenu::ReceiveEvent(host::TESDeathEvent* event, host::BSTEventSource<host::TESDeathEvent>*) {
    host::NeutralOnThrow([&] { HandlePlayerDeath(*this, event); });
    return host::EventResult::kContinue;
}

host::EventResult TarvekMenu::ReceiveEvent(host::MenuOpenCloseEvent* event,
                                           host::BSTEventSource<host::MenuOpenCloseEvent>*) {
    host::NeutralOnThrow([&] { FollowOtherMenu(event); });
    return host::EventResult::kContinue;
}

void TarvekMenu::FollowOtherMenu(const host::MenuOpenCloseEvent* event) {
    if (movieView == nullptr || event == nullptr) return;
    host::MenuManager* menus = host::GetMenuManager();
    if (menus == nullptr) return;
    if (event->opening) {
        const host::IMenu* opened = host::LookupMenuByName(menus, &event->menuName);
        if (opened != nullptr && (opened->flags & kHidingMenuFlags))
            host::Call<&host::HostTable::SetMovieVisible>(movieView, false);
    } else if (menus->pausingMenuCount == 0 && menus->overlayHidingMenuCount == 0 &&
               !host::CallOr<&host::HostTable::IsMovieVisible>(true, movieView)) {
        host::Call<&host::HostTable::SetMovieVisible>(movieView, true);
    }
}

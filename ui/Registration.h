#pragma once
// Making the game know "Tarvek Menu", and opening it whenever the trigger menu closes.

#include "host/Events.h"
#include "host/Ui.h"

// Registers the menu and its creator, and arms the first auto-open sink. False when the
// game has no menu manager.
bool RegisterTarvekMenu();
// The creator handed to the game: a new menu on the game's heap, or null.
host::IMenu* CreateTarvekMenu();

// One-shot: when the trigger menu closes and the blocking menu is not open, asks the game
// to open the marker menu, then removes and deletes itself.
class AutoOpenTarvekMenuSink final : public host::BSTEventSink<host::MenuOpenCloseEvent> {
public:
    HOST_THISCALL void* DeletingDestructor(std::uint32_t flags) override;
    HOST_THISCALL host::EventResult ReceiveEvent(host::MenuOpenCloseEvent* event,
                                                 host::BSTEventSource<host::MenuOpenCloseEvent>* source) override;

private:
    void OpenMarkerMenuAfter(const host::MenuOpenCloseEvent* event);
};

// Creates a sink and adds it to the menu manager's open/close source.
void ArmAutoOpenSink();

#include "ui/Registration.h"

#include <new>

#include "host/Callback.h"
#include "host/Host.h"
#include "host/MsvcAbi.h"
#include "targeting/LockState.h"
#include "ui/MenuName.h"
#include "ui/TarvekMenu.h"

void ArmAutoOpenSink() {
    host::EventSourceBase* source = host::MenuOpenCloseSource();
    if (source == nullptr) return;
    if (auto* sink = new (std::nothrow) AutoOpenTarvekMenuSink()) host::AddEventSink(source, sink);
}

bool RegisterTarvekMenu() {
    host::MenuManager* menus = host::GetMenuManager();
    if (menus == nullptr) return false;
    host::Call<&host::HostTable::RegisterMenu>(menus, kMarkerMenuName, &CreateTarvekMenu);
    ArmAutoOpenSink();
    return true;
}

host::IMenu* CreateTarvekMenu() {
    void* storage = host::HeapAllocate(sizeof(TarvekMenu), 0);
    if (storage == nullptr) return nullptr;
    try {
        return new (storage) TarvekMenu();
    } catch (...) {
        host::HeapFree(storage);
        return nullptr;  // nothing may cross back into the game
    }
}

void* AutoOpenTarvekMenuSink::DeletingDestructor(std::uint32_t flags) {
    this->~AutoOpenTarvekMenuSink();
    if (flags & host::kDeletingDestructorFree) ::operator delete(this);
    return this;
}

host::EventResult AutoOpenTarvekMenuSink::ReceiveEvent(host::MenuOpenCloseEvent* event,
                                                       host::BSTEventSource<host::MenuOpenCloseEvent>*) {
    host::NeutralOnThrow([&] { OpenMarkerMenuAfter(event); });
    return host::EventResult::kContinue;
}

void AutoOpenTarvekMenuSink::OpenMarkerMenuAfter(const host::MenuOpenCloseEvent* event) {
    host::MenuManager* menus = host::GetMenuManager();
    const host::UIStringTable* strings = host::UIStrings();
    if (menus == nullptr || strings == nullptr || event == nullptr) return;
    if (!(event->menuName == strings->triggerMenu) || event->opening) return;
    if (host::IsMenuOpen(menus, &strings->blockingMenu)) return;

    if (LockState.markerMenu == nullptr) {
        const host::FixedString name(kMarkerMenuName);
        const host::HostTable* t = host::Table();
        host::UIMessageQueue* queue = t && t->UIMessageQueue ? *t->UIMessageQueue : nullptr;
        if (queue != nullptr) host::Call<&host::HostTable::QueueUIMessage>(queue, &name, host::kMessageOpen, nullptr);
    }
    host::RemoveEventSink(&menus->menuOpenCloseSource, this);
    DeletingDestructor(host::kDeletingDestructorFree);
}

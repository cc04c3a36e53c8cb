#include "host/Host.h"

#include <optional>

namespace host {

std::uint32_t IMenu::HandleUIMessage(UIMessage*) { return kMessageIgnored; }

void IMenu::AdvanceMovie(float interval, std::uint32_t time) {
    Call<&HostTable::MenuAdvanceMovieDefault>(this, interval, time);
}

void IMenu::InitMovie() { Call<&HostTable::MenuInitMovieDefault>(this, movieView); }

void IMenu::DrawMenu() {
    if (movieView != nullptr) Call<&HostTable::DisplayMovie>(movieView);
}

IMenu::~IMenu() {
    if (attachment != 0) Call<&HostTable::ReleaseMenuAttachment>(&attachment);
    if (movieView != nullptr) Call<&HostTable::ReleaseMovie>(movieView);
}

IMenu* LookupMenuByName(MenuManager* manager, const FixedString* name) {
    if (manager == nullptr || name == nullptr || name->Handle() == nullptr) return nullptr;
    if (FixedStringLength(name->Handle()) == 0) return nullptr;
    const MenuTable& table = manager->menuTable;
    const HostTable* t = Table();
    if (table.entries == nullptr || table.bucketCount == 0 || t == nullptr || t->HashFixedString == nullptr)
        return nullptr;
    FixedString consumed(*name);  // the hash takes a reference of its own
    std::optional<std::uint32_t> hash;
    NeutralOnThrow([&] { hash = t->HashFixedString(consumed.Release()); });
    if (!hash) return nullptr;  // no hash, no bucket to look in
    const MenuTableEntry* entry = &table.entries[*hash & (table.bucketCount - 1)];
    if (entry->next == nullptr) return nullptr;
    // A chain holds each of the table's entries at most once: a longer walk is a loop in
    // a damaged table, which must not hang the game.
    std::uint32_t steps = 0;
    for (; entry != nullptr && entry != table.endSentinel && steps <= table.bucketCount; entry = entry->next, ++steps)
        if (entry->name == *name) return entry->menu;
    return nullptr;
}

}  // namespace host

// The game's menu table laid out at random: any bucket count, entries whose names are any
// of a few menus' or none, chains that end at the sentinel, end in nothing, or loop. A
// lookup always ends, and what it finds is a menu of that name on the name's own chain.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "host/FixedString.h"
#include "host/Host.h"
#include "sim/game/Game.h"
#include "ui/TarvekMenu.h"

namespace {

constexpr const char* kNames[] = {"Tarvek Menu", "Loading Menu", "Main Menu", "Console"};
constexpr std::size_t kMaxBuckets = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<host::FixedString> names(std::begin(kNames), std::end(kNames));
    fuzz::Input in(data, size);
    host::MenuManager manager{};
    std::vector<host::MenuTableEntry> entries(kMaxBuckets);
    host::MenuTableEntry sentinel{};
    std::vector<host::IMenu*> menus(entries.size());  // only their addresses are looked at
    const std::uint32_t buckets = 1u << in.Below(7);
    manager.menuTable.bucketCount = buckets;
    manager.menuTable.entries = entries.data();
    manager.menuTable.endSentinel = &sentinel;
    for (std::uint32_t i = 0; i < buckets; ++i) {
        const std::uint8_t choice = in.Take<std::uint8_t>();
        const std::uint32_t which = choice % 5;
        // A name slot holds a handle the table keeps no reference of its own for.
        *reinterpret_cast<const char**>(&entries[i].name) = which < 4 ? names[which].Handle() : nullptr;
        entries[i].menu = reinterpret_cast<host::IMenu*>(&menus[i]);
        const std::uint8_t link = in.Take<std::uint8_t>();
        entries[i].next = link % 4 == 0 ? nullptr : link % 4 == 1 ? &sentinel : &entries[link % buckets];
    }
    for (const host::FixedString& name : names) {
        const host::IMenu* found = LookupMenuByName(&manager, &name);
        if (found == nullptr) continue;
        bool named = false;
        for (std::uint32_t i = 0; i < buckets; ++i)
            if (found == entries[i].menu) named = entries[i].name == name;
        fuzz::Require(named);
    }
    for (host::MenuTableEntry& entry : entries) *reinterpret_cast<const char**>(&entry.name) = nullptr;
    return 0;
}

// The typed helpers over the host table: the lazy singleton rule and counted references.

#include <gtest/gtest.h>

#include "host/Host.h"
#include "sim/game/Game.h"
#include "support/ScopedEntry.h"

namespace {

host::MenuManager createdManager{};
int creations = 0;
host::MenuManager* HOST_CDECL CreateMenuManager() {
    ++creations;
    return &createdManager;
}

TEST(LazySingleton, CreatesOnceIntoTheHostGlobalThenReusesIt) {
    host::MenuManager* global = nullptr;
    host::HostTable& table = sim::HostTable();
    test::ScopedEntry globalEntry(table.MenuManagerGlobal, &global);
    test::ScopedEntry createEntry(table.GetMenuManagerSingleton, &CreateMenuManager);
    creations = 0;

    EXPECT_EQ(host::GetMenuManager(), &createdManager);
    EXPECT_EQ(global, &createdManager) << "the result is stored into the host's global";
    EXPECT_EQ(host::GetMenuManager(), &createdManager);
    EXPECT_EQ(creations, 1);

    host::MenuManager existing{};
    global = &existing;
    EXPECT_EQ(host::GetMenuManager(), &existing) << "a filled global is used as it is";
    EXPECT_EQ(creations, 1);
}

TEST(LazySingleton, MissingGlobalOrCreatorYieldsNull) {
    host::HostTable& table = sim::HostTable();
    host::MenuManager* global = nullptr;
    {
        test::ScopedEntry globalEntry(table.MenuManagerGlobal, &global);
        test::ScopedEntry createEntry(table.GetMenuManagerSingleton,
                                      static_cast<decltype(&CreateMenuManager)>(nullptr));
        EXPECT_EQ(host::GetMenuManager(), nullptr);
    }
    test::ScopedEntry globalEntry(table.MenuManagerGlobal, static_cast<host::MenuManager**>(nullptr));
    test::ScopedEntry createEntry(table.GetMenuManagerSingleton, &CreateMenuManager);
    creations = 0;
    EXPECT_EQ(host::GetMenuManager(), nullptr);
    EXPECT_EQ(creations, 0) << "no global to keep the result in: nothing is created";
}

host::TESObjectREFR reference{};
int drops = 0;
bool lookupResult = true;
bool HOST_CDECL Lookup(const host::ActorHandle* handle, host::TESObjectREFR** out) {
    if (*handle == 7) *out = &reference;
    return lookupResult && *handle == 7;
}
void HOST_THISCALL Drop(host::TESObjectREFR* dropped) {
    EXPECT_EQ(dropped, &reference);
    ++drops;
}

TEST(CountedReferences, EveryLookedUpReferenceIsDroppedExactlyOnce) {
    host::HostTable& table = sim::HostTable();
    test::ScopedEntry lookupEntry(table.LookupReferenceByHandle, &Lookup);
    test::ScopedEntry dropEntry(table.DropReference, &Drop);
    drops = 0;
    lookupResult = true;
    {
        host::ReferenceGuard held = host::LookupReference(7);
        EXPECT_EQ(held.Get(), &reference);
        host::ReferenceGuard moved = std::move(held);
        EXPECT_FALSE(held);
        EXPECT_EQ(drops, 0);
    }
    EXPECT_EQ(drops, 1) << "a moved-from guard drops nothing";

    EXPECT_FALSE(host::LookupReference(8));
    EXPECT_EQ(drops, 1) << "nothing resolved, nothing to drop";

    lookupResult = false;  // a host that fails yet fills the slot
    EXPECT_FALSE(host::LookupReference(7));
    EXPECT_EQ(drops, 2) << "the count it handed over is still dropped";
}

}  // namespace

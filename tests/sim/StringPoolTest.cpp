// The stand-in's string pool, reached the way the plugin reaches it: host::FixedString
// through the exported host table.

#include <gtest/gtest.h>

#include "host/FixedString.h"
#include "host/Host.h"
#include "sim/game/Game.h"
#include "sim/game/Misuse.h"
#include "sim/game/StringPool.h"

namespace {

TEST(FixedStrings, EqualTextsShareOneCountedHandle) {
    sim::StringPool& pool = sim::Strings();
    const std::size_t live = pool.LiveStrings();
    {
        host::FixedString a("Pool Probe");
        host::FixedString b("Pool Probe");
        host::FixedString other("pool probe");
        EXPECT_EQ(a, b);
        EXPECT_NE(a.Handle(), other.Handle()) << "interning is exact, case included";
        EXPECT_EQ(pool.RefCount(a.Handle()), 2u);
        {
            host::FixedString copy(a);
            EXPECT_EQ(copy, a);
            EXPECT_EQ(pool.RefCount(a.Handle()), 3u);
            host::FixedString moved(std::move(copy));
            EXPECT_EQ(copy.Handle(), nullptr);
            EXPECT_EQ(pool.RefCount(a.Handle()), 3u) << "a move hands the reference over";
        }
        EXPECT_EQ(pool.RefCount(a.Handle()), 2u);
        EXPECT_EQ(a.View(), "Pool Probe");
        EXPECT_EQ(host::FixedStringLength(a.Handle()), 10u) << "length word just before the characters";
    }
    EXPECT_EQ(pool.LiveStrings(), live) << "the last release frees the entry";
    EXPECT_TRUE(sim::TakeMisuses().empty()) << "no string released twice";
}

TEST(FixedStrings, HashConsumesTheReferenceItIsGiven) {
    host::FixedString name("Hash Probe");
    const host::HostTable* table = host::Table();
    ASSERT_NE(table, nullptr);
    host::FixedString extra(name);
    const std::uint32_t first = table->HashFixedString(extra.Release());
    EXPECT_EQ(sim::Strings().RefCount(name.Handle()), 1u);
    host::FixedString again(name);
    EXPECT_EQ(table->HashFixedString(again.Release()), first) << "the hash follows the handle";
}

TEST(FixedStrings, HostWithoutStringEntriesIsNeverCalled) {
    host::HostTable& table = sim::HostTable();
    const auto create = table.CreateFixedString;
    table.CreateFixedString = nullptr;
    host::FixedString name("NPC COM [COM ]");
    table.CreateFixedString = create;
    EXPECT_EQ(name.Handle(), nullptr);
    EXPECT_TRUE(name.Empty());
    host::FixedString copy(name);  // copying and releasing an empty string call nothing
    EXPECT_EQ(copy.Handle(), nullptr);
    EXPECT_TRUE(sim::TakeMisuses().empty()) << "no string released twice";
}

}  // namespace

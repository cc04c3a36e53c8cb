#include <gtest/gtest.h>

#include <set>
#include <string>

#include "aimpoint/AimPointTable.h"
#include "sim/game/Misuse.h"
#include "sim/game/StringPool.h"

namespace {

std::string NodeFor(const char* path) {
    const host::FixedString* node = LookupAimNode(path);
    return node ? std::string(node->View()) : std::string("<none>");
}

TEST(AimPointTable, BuiltAtStartUpThroughTheHostsStringPool) {
    // The process-wide table was built by static initialisation, before any test ran.
    EXPECT_EQ(gAimPointTable.Size(), 48u);
    const host::FixedString* node = LookupAimNode("actors\\character\\defaultmale.hkx");
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE(sim::Strings().Owns(node->Handle())) << "names are the host's interned strings";
    host::FixedString same("NPC Spine2 [Spn2]");
    EXPECT_EQ(*node, same) << "so the host's node search can compare handles";
}

TEST(AimPointTable, RowsMapExactlyAsListed) {
    EXPECT_EQ(NodeFor("actors\\character\\defaultfemale.hkx"), "NPC Spine2 [Spn2]");
    EXPECT_EQ(NodeFor("actors\\dlc02\\netch\\netchproject.hkx"), "NetchPelvis [Pelv]");
    EXPECT_EQ(NodeFor("actors\\spriggan\\spriggan.hkx"), "NPC COM [COM ]");
    EXPECT_EQ(NodeFor("actors\\mammoth\\mammothproject.hkx"), "Mammoth Spine 3");
    EXPECT_EQ(NodeFor("actors\\chaurus\\chaurusproject.hkx"), "Spine[Spn1]");
    EXPECT_EQ(NodeFor("actors\\dlc02\\hmdaedra\\hmdaedra.hkx"), "NPC COM [COM ]");

    std::set<std::string> keys;
    for (const AimPointRow& row : kAimPointRows) {
        keys.insert(row.skeletonPath);
        EXPECT_EQ(NodeFor(row.skeletonPath), row.nodeName);
    }
    EXPECT_EQ(keys.size(), 48u) << "every key is distinct";
}

TEST(AimPointTable, OnlyExactLowercaseBackslashPathsMatch) {
    EXPECT_EQ(LookupAimNode("Actors\\Character\\DefaultMale.hkx"), nullptr) << "lowercasing is the caller's";
    EXPECT_EQ(LookupAimNode("actors/character/defaultmale.hkx"), nullptr);
    EXPECT_EQ(LookupAimNode("actors\\character\\defaultmale"), nullptr);
    EXPECT_EQ(LookupAimNode("character\\defaultmale.hkx"), nullptr);
    EXPECT_EQ(LookupAimNode("actors\\mymod\\newcreature.hkx"), nullptr);
    EXPECT_EQ(LookupAimNode(""), nullptr);
}

TEST(AimPointTable, HoldsOneReferencePerNameAndReleasesThemAll) {
    sim::StringPool& pool = sim::Strings();
    const host::FixedString probe("Witchlight Body Lag");
    const std::uint32_t before = pool.RefCount(probe.Handle());
    const std::size_t live = pool.LiveStrings();
    {
        AimPointTable table;
        EXPECT_EQ(pool.RefCount(probe.Handle()), before + 1) << "temporaries released, the map's copy kept";
    }
    EXPECT_EQ(pool.RefCount(probe.Handle()), before);
    EXPECT_EQ(pool.LiveStrings(), live);
    EXPECT_TRUE(sim::TakeMisuses().empty()) << "no string released twice";
}

}  // namespace

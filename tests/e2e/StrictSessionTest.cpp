// The built plugin against the stand-in game at its strictest: bad values, bad answers and
// host faults the real game can hand a plugin. Every run must end, exit as it should, and
// leave the stand-in nothing to report.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "e2e/Sessions.h"
#include "support/TempFiles.h"

namespace {

using test::Contains;
using test::Play;
using test::Row;
using test::Session;

// The marker menu opens on frame 1; a bandit stands ahead, an archer to the left.
const char kOpening[] =
    "player at 0 0 0 heading 0\n"
    "actor bandit at 40 600 0\n"
    "actor archer at -300 800 0\n"
    "open Loading Menu\nclose Loading Menu\n";

void ExpectFinished(const Session& session) {
    EXPECT_EQ(session.run.exitCode, 0u) << session.run.output;
    EXPECT_FALSE(Contains(session.run.output, "misuse:")) << session.run.output;
}

bool AllFinite(const std::vector<Row>& rows) {
    for (const Row& row : rows)
        if (!std::isfinite(row.heading) || !std::isfinite(row.pitch)) return false;
    return true;
}

TEST(StrictSession, TheShippedStrictScenarioPlaysItsStory) {
    const std::string scenario = test::ReadFile(std::string(VELDRIN_SOURCE_DIR) + "/scenarios/strict.txt");
    ASSERT_FALSE(scenario.empty());
    const Session session = Play("strict", scenario);
    ExpectFinished(session);
    const std::string& out = session.run.output;
    EXPECT_TRUE(Contains(out, "frame 6: locked bandit\n")) << "not the ghost behind the wall:\n" << out;
    EXPECT_TRUE(Contains(out, "before frame 16: bandit is dying\nframe 16: lock released\n")) << out;
    EXPECT_TRUE(Contains(out, "frame 21: locked merchant\n")) << out;
    EXPECT_TRUE(Contains(out, "frame 51: switched to ghost\n")) << "the wall is gone:\n" << out;
    EXPECT_TRUE(Contains(out, "before frame 61: player dies\nframe 61: lock released\n")) << out;
    EXPECT_TRUE(Contains(out,
                         "game code patched: frame call, target-update entry, branch A, branch B, "
                         "FreezeEventHandler entry\n"))
        << out;
    for (const Row& row : session.rows) {
        const bool locked = !row.target.empty();
        EXPECT_EQ(row.gameTarget, row.target) << "frame " << row.frame << ": the game's own target follows the lock";
        EXPECT_EQ(row.branchA, locked ? "taken" : "fall") << "frame " << row.frame;
        EXPECT_EQ(row.branchB, locked ? "taken" : "fall") << "frame " << row.frame;
    }
}

TEST(StrictSession, HugeAnglesAndStickValuesEndTheirFrameAtOnce) {
    // A heading of 1e20 degrees and a stick of 3e38: stepping 2π off either never ends.
    const Session session = Play("huge-angles",
                                 "player at 0 0 0 heading 1e20\n"
                                 "actor bandit at 0 600 0\n"
                                 "gamepad on\n"
                                 "open Loading Menu\nclose Loading Menu\nframes 1\n"
                                 "press keyboard 46\nframes 3\n"
                                 "stick 3e38 -3e38\nframes 3\n",
                                 "", 30000);
    ExpectFinished(session);
    ASSERT_EQ(session.rows.size(), 7u);
    EXPECT_TRUE(AllFinite(session.rows));
}

TEST(StrictSession, NothingThatIsNotANumberReachesTheGameOrTheMovie) {
    const Session session = Play("not-a-number", std::string(kOpening) +
                                                     "frames 1\npress keyboard 46\nframes 3\n"
                                                     "move bandit to nan 600 0\nframes 2\n"  // released
                                                     "press keyboard 46\nframes 3\n"         // the archer, then
                                                     "screen 0 0\nframes 3\n");              // a display of no size
    ExpectFinished(session);
    const std::vector<Row>& rows = session.rows;
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_EQ(rows[3].target, "bandit");
    EXPECT_EQ(rows[4].target, "") << "a target whose aim point is not a number no longer qualifies";
    EXPECT_EQ(rows[6].target, "archer") << "and the next lock works: the player's rotation is unharmed";
    EXPECT_TRUE(AllFinite(rows));
    for (const Row& row : rows) {
        EXPECT_FALSE(Contains(row.movieCalls, "nan")) << "frame " << row.frame << ": " << row.movieCalls;
        EXPECT_FALSE(Contains(row.movieCalls, "inf")) << "frame " << row.frame << ": " << row.movieCalls;
    }
    EXPECT_EQ(rows[11].target, "archer") << "a display of no size does not end the lock";
}

TEST(StrictSession, TheGamesOwnCodeFollowsTheLockAndTheMovieIsShownEveryFrame) {
    const Session session = Play("game-code", std::string(kOpening) +
                                                  "game target archer\n"  // the game's own choice
                                                  "frames 2\npress keyboard 46\nframes 2\n"
                                                  "press keyboard 46\nframes 2\n"
                                                  "game branch-a on\ngame branch-b on\nframes 1\n"
                                                  "close Tarvek Menu\nframes 1\n");
    ExpectFinished(session);
    const std::vector<Row>& rows = session.rows;
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0].messages, "open=0");
    EXPECT_EQ(rows[0].gameTarget, "archer");
    EXPECT_EQ(rows[0].branchA, "fall");
    EXPECT_EQ(rows[2].target, "bandit");
    EXPECT_EQ(rows[2].gameTarget, "bandit") << "the target-update entry hands the game the lock";
    EXPECT_EQ(rows[2].branchA, "taken");
    EXPECT_EQ(rows[2].branchB, "taken");
    EXPECT_EQ(rows[4].gameTarget, "archer") << "released: the game chooses again";
    EXPECT_EQ(rows[4].branchA, "fall");
    EXPECT_EQ(rows[6].branchA, "taken") << "the game's own conditions still take their branch";
    EXPECT_EQ(rows[6].branchB, "taken");
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(rows[i].displays, 1) << "frame " << rows[i].frame;
    EXPECT_EQ(rows[7].messages, "close=0");
}

TEST(StrictSession, TheMenuDestroyedWithoutItsCloseGivesTheInputBackAndComesBack) {
    const Session session = Play("destroyed", std::string(kOpening) +
                                                  "frames 1\npress keyboard 46\nframes 2\n"
                                                  "destroy Tarvek Menu\nframes 1\n"
                                                  "open Loading Menu\nclose Loading Menu\nframes 1\n");
    ExpectFinished(session);
    const std::vector<Row>& rows = session.rows;
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_FALSE(rows[2].playerInput);
    EXPECT_TRUE(rows[3].playerInput) << "the game's own input is back";
    EXPECT_TRUE(Contains(session.run.output, "frame 5: marker menu opened")) << session.run.output;
}

TEST(StrictSession, ActorsTheGameSaysCannotBeLocked) {
    const Session session = Play("unlockable",
                                 "player at 0 0 0 heading 0\n"
                                 "actor walled at 0 600 0 wall\n"
                                 "actor hidden at 0 700 0 unseen\n"
                                 "actor ghost at 0 800 0 unreferenced\n"
                                 "actor dying at 0 900 0\nset dying dying\n"
                                 "open Loading Menu\nclose Loading Menu\nframes 1\n"
                                 "press keyboard 46\nframes 1\n");
    ExpectFinished(session);
    ASSERT_EQ(session.rows.size(), 2u);
    EXPECT_EQ(session.rows[1].target, "") << "nothing is locked";
    EXPECT_EQ(session.rows[1].sounds, 1) << "the unreferenced actor is taken: a cue, yet no handle to lock";
}

TEST(StrictSession, ThePlayersDeathReleasesTheLock) {
    const Session session =
        Play("player-death", std::string(kOpening) + "frames 1\npress keyboard 46\nframes 1\nkill player\nframes 1\n");
    ExpectFinished(session);
    ASSERT_EQ(session.rows.size(), 3u);
    EXPECT_EQ(session.rows[1].target, "bandit");
    EXPECT_EQ(session.rows[2].target, "");
}

struct Fault {
    const char* name;
    const char* patched;  // what "game code patched:" lists
    bool menuOpens;       // the marker menu is built and answers its open message
    bool locks;
};

class HostFaults : public ::testing::TestWithParam<Fault> {};

TEST_P(HostFaults, ThePluginSurvivesAndDoesWhatItStillCan) {
    const Fault& fault = GetParam();
    const Session session =
        Play(std::string("fault-") + fault.name, std::string(kOpening) + "frames 1\npress keyboard 46\nframes 2\n",
             std::string("--fault ") + fault.name);
    ExpectFinished(session);
    EXPECT_TRUE(Contains(session.run.output, std::string("game code patched: ") + fault.patched + "\n"))
        << session.run.output;
    ASSERT_EQ(session.rows.size(), 3u);
    EXPECT_EQ(session.rows[0].messages == "open=0", fault.menuOpens) << session.rows[0].messages;
    EXPECT_EQ(session.rows[2].target == "bandit", fault.locks);
    EXPECT_TRUE(Contains(session.run.output, "freeze handler: ")) << session.run.output;
    EXPECT_FALSE(Contains(session.run.output, "freeze handler: 0 menu events")) << "never made deaf";
}

constexpr char kAllSites[] = "frame call, target-update entry, branch A, branch B, FreezeEventHandler entry";
constexpr char kCodeSites[] = "frame call, target-update entry, branch A, branch B";

INSTANTIATE_TEST_SUITE_P(
    Strict, HostFaults,
    ::testing::Values(
        Fault{"no-menu-manager", kCodeSites, false, false}, Fault{"no-scaleform", kAllSites, false, false},
        Fault{"no-movie", kAllSites, false, false}, Fault{"heap-refuses", kAllSites, false, false},
        // The first FreezeEventHandler's save is refused; its twin, on the same table, gets it.
        Fault{"allocator-refuses", kAllSites, true, true}, Fault{"no-lock-cue", kAllSites, true, true},
        Fault{"no-ui-queue", kAllSites, false, false},
        Fault{"protect-frame-call", "target-update entry, branch A, branch B, FreezeEventHandler entry", true, true},
        Fault{"protect-target-slot", "frame call, branch A, branch B, FreezeEventHandler entry", true, true},
        Fault{"protect-branch-a", "frame call, target-update entry, branch B, FreezeEventHandler entry", true, true},
        Fault{"protect-branch-b", "frame call, target-update entry, branch A, FreezeEventHandler entry", true, true},
        Fault{"protect-freeze-slot", kCodeSites, true, true},
        // Another build of the game: the site is left as it is, the rest installed.
        Fault{"strange-frame-call", "target-update entry, branch A, branch B, FreezeEventHandler entry", true, true},
        Fault{"strange-branch-a", "frame call, target-update entry, branch B, FreezeEventHandler entry", true, true},
        Fault{"strange-branch-b", "frame call, target-update entry, branch A, FreezeEventHandler entry", true, true}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name)
            if (c == '-') c = '_';
        return name;
    });

TEST(StrictSession, TheGameRefusesNumbersItCannotTake) {
    const test::GameFolder game = test::MakeGameFolder("refusals");
    const auto refused = [&](const std::string& arguments, const std::string& message) {
        const test::ProcessResult run = test::RunGame(game, arguments);
        EXPECT_EQ(run.exitCode, 2u) << arguments << "\n" << run.output;
        EXPECT_TRUE(Contains(run.output, message)) << arguments << "\n" << run.output;
    };
    refused("--magic-effects -1", "--magic-effects takes a 32-bit unsigned number, not \"-1\"");
    refused("--skse-version 0x100000000", "takes a 32-bit unsigned number");
    refused("--fault nothing-at-all", "unknown fault \"nothing-at-all\"");
    const auto scenario = [&](const std::string& line, const std::string& message) {
        test::WriteFile(game.folder + "\\bad.txt", "actor bandit at 1 2 3\n" + line + "\n");
        refused("\"" + game.folder + "\\bad.txt\"", "bad.txt:2: " + message);
    };
    scenario("press keyboard 4294967296", "\"4294967296\" is out of range for a key code");
    scenario("move bandit to 1e39 0 0", "\"1e39\" overflows a 32-bit float");
    scenario("stick 1e999 0", "\"1e999\" is not a number");
    scenario("frames -3", "frames takes a whole number from 1 to 100000");
    scenario("fault no-movie", "fault lines come first");

    const test::ProcessResult missing = test::RunGame(game, "--plugin Missing.dll");
    EXPECT_EQ(missing.exitCode, 1u) << missing.output;
    const test::ProcessResult help = test::RunGame(game, "--help");
    EXPECT_TRUE(Contains(help.output, "protect-branch-a")) << help.output;
    EXPECT_TRUE(Contains(help.output, "Exit codes:")) << help.output;
}

}  // namespace

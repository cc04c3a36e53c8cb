// A whole session with the built Veldrin.dll in simgame.exe: the marker menu opens after
// the trigger menu, the lock key locks, the marker follows, the lock ends with the target.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "e2e/Sessions.h"
#include "support/TempFiles.h"

namespace {

using test::Contains;
using test::Play;
using test::Row;
using test::Session;

const char kWorld[] =
    "player at 0 0 0 heading 0\n"
    "actor bandit at 40 600 0\n"
    "actor archer at -300 800 0\n";

TEST(Session, FromTriggerMenuToMarkerAndBack) {
    const Session session = Play("session", std::string(kWorld) +
                                                "open Main Menu\n"
                                                "open Loading Menu\nclose Loading Menu\n"  // blocked: no marker menu
                                                "frames 2\n"
                                                "close Main Menu\nopen Loading Menu\nclose Loading Menu\n"
                                                "frames 2\n"
                                                "press keyboard 46\n"
                                                "frames 3\n"
                                                "press keyboard 47\n"
                                                "frames 2\n"
                                                "kill archer\n"
                                                "frames 3\n");
    ASSERT_EQ(session.run.exitCode, 0u) << session.run.output;
    const std::vector<Row>& rows = session.rows;
    ASSERT_EQ(rows.size(), 12u);
    EXPECT_TRUE(Contains(session.run.output, "frame 3: marker menu opened")) << session.run.output;

    // Frame 5 follows the lock key: cue, marker shown, nothing sent to the movie yet.
    EXPECT_EQ(rows[3].target, "");
    EXPECT_EQ(rows[4].target, "bandit");
    EXPECT_EQ(rows[4].sounds, 1);
    EXPECT_TRUE(rows[4].markerShown);
    EXPECT_EQ(rows[4].movieCalls, "");
    // The next draw places it with the values the update projected.
    char expected[128];
    std::snprintf(expected, sizeof expected, "SetTargetPos(%.2f %.2f %.2f)", rows[5].markerX, rows[5].markerY,
                  rows[5].markerDistance);
    EXPECT_EQ(rows[5].movieCalls, expected);
    EXPECT_GT(rows[4].heading, 0.0);
    EXPECT_GT(rows[5].heading, rows[4].heading) << "the player turns toward the bandit frame by frame";
    EXPECT_LT(rows[6].markerX, rows[5].markerX) << "and the marker moves toward the centre";

    EXPECT_EQ(rows[7].target, "archer") << "the switch key moves to the other actor";
    EXPECT_EQ(rows[7].sounds, 1);
    EXPECT_EQ(rows[9].target, "") << "the dead target is released on the next frame";
    int hides = 0;
    for (const Row& row : rows) hides += row.movieCalls == "Hide()";
    EXPECT_EQ(hides, 1);
    EXPECT_TRUE(Contains(session.run.output, "frame 10: lock released")) << session.run.output;
    EXPECT_FALSE(rows[4].playerInput) << "the game's input is off while the marker shows";
    EXPECT_TRUE(rows[9].playerInput) << "and back on once it is hidden";
}

TEST(Session, PausingMenusHideTheMarkerAndClosingTheMenuEndsTheLock) {
    const Session session = Play("session-menus", std::string(kWorld) +
                                                      "open Loading Menu\nclose Loading Menu\nframes 1\n"
                                                      "press keyboard 46\nframes 2\n"
                                                      "open Inventory Menu\nframes 1\n"  // pauses the game: hidden
                                                      "open Console\nclose Inventory Menu\nframes 1\n"
                                                      "close Console\nframes 1\n"  // none left: shown again
                                                      "close Tarvek Menu\nframes 1\n"
                                                      "press keyboard 46\nframes 1\n"  // nobody listens now
                                                      "open Loading Menu\nclose Loading Menu\nframes 2\n");
    ASSERT_EQ(session.run.exitCode, 0u) << session.run.output;
    const std::vector<Row>& rows = session.rows;
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[2].target, "bandit");
    EXPECT_TRUE(rows[2].movieVisible);
    EXPECT_FALSE(rows[3].movieVisible);
    EXPECT_FALSE(rows[4].movieVisible) << "another hiding menu is still open";
    EXPECT_TRUE(rows[5].movieVisible);
    EXPECT_EQ(rows[6].target, "") << "closing the menu releases the lock";
    EXPECT_TRUE(rows[6].playerInput);
    EXPECT_EQ(rows[7].target, "") << "its sinks are gone";
    EXPECT_EQ(rows[7].sounds, 0);
    EXPECT_TRUE(Contains(session.run.output, "frame 9: marker menu opened")) << "a new auto-open sink was armed";
    EXPECT_TRUE(Contains(session.run.output, "of them for Tarvek Menu")) << session.run.output;
    EXPECT_TRUE(Contains(session.run.output, ", 0 of them for Tarvek Menu")) << session.run.output;
    EXPECT_FALSE(Contains(session.run.output, "freeze handler: 0 menu events")) << session.run.output;
}

TEST(Session, AMalformedScenarioIsRefusedWithItsLine) {
    const test::GameFolder game = test::MakeGameFolder("malformed");
    test::WriteFile(game.folder + "\\scenario.txt", "actor bandit at 1 2 3\nfly bandit\n");
    const test::ProcessResult run = test::RunGame(game, "\"" + game.folder + "\\scenario.txt\"");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_TRUE(Contains(run.output, "scenario.txt:2: unknown command \"fly\"")) << run.output;
}

// The shipped scenarios play as they always have: the record's first twelve columns are
// exactly those kept in tests/e2e/records/ from before the record grew.
class ShippedScenario : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedScenario, PlaysUnchanged) {
    const std::string source = VELDRIN_SOURCE_DIR;
    const std::string scenario = test::ReadFile(source + "\\scenarios\\" + GetParam() + ".txt");
    const std::string kept = test::ReadFile(source + "\\tests\\e2e\\records\\" + GetParam() + ".csv");
    ASSERT_FALSE(scenario.empty());
    ASSERT_FALSE(kept.empty());
    const test::GameFolder game = test::MakeGameFolder(std::string("shipped-") + GetParam());
    test::AddMarkerMovie(game);
    test::WriteFile(game.folder + "\\scenario.txt", scenario);
    const test::ProcessResult run =
        test::RunGame(game, "--record \"" + game.folder + "\\record.csv\" \"" + game.folder + "\\scenario.txt\"");
    ASSERT_EQ(run.exitCode, 0u) << run.output;

    std::istringstream played(test::ReadFile(game.folder + "\\record.csv")), before(kept);
    std::string now, then;
    int line = 0;
    while (std::getline(before, then)) {
        ++line;
        ASSERT_TRUE(std::getline(played, now)) << "the record ends early at line " << line;
        std::size_t at = 0;
        for (int column = 0; column < 12 && at != std::string::npos; ++column) at = now.find(',', at + (column > 0));
        EXPECT_EQ(now.substr(0, at), then) << GetParam() << " line " << line;
    }
    EXPECT_FALSE(std::getline(played, now)) << "the record goes on past line " << line;
}

INSTANTIATE_TEST_SUITE_P(Records, ShippedScenario, ::testing::Values("fight", "first-person", "gamepad", "crowd"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace

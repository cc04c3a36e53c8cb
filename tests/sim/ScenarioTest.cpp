#include <gtest/gtest.h>

#include <string>

#include "sim/scenario/Scenario.h"

namespace {

std::string ErrorOf(const std::string& text) {
    try {
        sim::ParseScenario(text, "s.txt");
    } catch (const sim::ScenarioError& error) {
        return error.what();
    }
    return "";
}

TEST(ScenarioFiles, ReadCommandsSkippingCommentsAndBlankLines) {
    const sim::Scenario scenario = sim::ParseScenario(
        "# a fight\n\nactor bandit at 1 2 3 female  # the first\nframes 4\nclose Loading Menu\n", "s.txt");
    ASSERT_EQ(scenario.commands.size(), 3u);
    EXPECT_EQ(scenario.commands[0].line, 3);
    EXPECT_EQ(scenario.commands[0].words.back(), "female");
    EXPECT_EQ(scenario.commands[2].words, (std::vector<std::string>{"Loading", "Menu"}));
}

TEST(ScenarioFiles, MistakesNameTheirFileAndLine) {
    EXPECT_EQ(ErrorOf("frames 3\nfly away\n"), "s.txt:2: unknown command \"fly\"");
    EXPECT_EQ(ErrorOf("frames 0\n"), "s.txt:1: frames takes a whole number from 1 to 100000");
    EXPECT_EQ(ErrorOf("frames 2.5\n"), "s.txt:1: frames takes a whole number from 1 to 100000");
    EXPECT_EQ(ErrorOf("kill ghost\n"), "s.txt:1: no actor named \"ghost\" before this line");
    EXPECT_EQ(ErrorOf("actor a at 1 2\n"), "s.txt:1: \"actor\" needs more words");
    EXPECT_EQ(ErrorOf("actor a at 1 2 x\n"), "s.txt:1: \"x\" is not a number");
    EXPECT_EQ(ErrorOf("actor a at 1 2 3\nactor a at 1 2 3\n"), "s.txt:2: actor \"a\" is declared twice");
    EXPECT_EQ(ErrorOf("actor a,b at 1 2 3\n"), "s.txt:1: actor names use letters, digits, '_' and '-'");
    EXPECT_EQ(ErrorOf("press joystick 3\n"), "s.txt:1: unknown device \"joystick\" (keyboard, mouse or gamepad)");
    EXPECT_EQ(ErrorOf("press keyboard C\n"), "s.txt:1: \"C\" is not a key code");
    EXPECT_EQ(ErrorOf("camera sideways\n"),
              "s.txt:1: camera is first, third, at X Y Z, follow, offset H P, tilt P R, root on|off or node on|off");
    EXPECT_EQ(ErrorOf("open\n"), "s.txt:1: \"open\" needs a menu name");
    EXPECT_EQ(ErrorOf("press gamepad 0x1000\nstick 0.5 -1\n"), "");
}

}  // namespace

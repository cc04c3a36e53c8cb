// The built Veldrin.dll loaded by simgame.exe exactly as the script extender loads it.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "e2e/GameFolder.h"
#include "support/TempFiles.h"

namespace {

using test::GameFolder;

std::string Lines(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) text.append(line).append("\r\n");
    return text;
}

const std::string kLoadedLines = Lines({"Veldrin.dll", "Tarvek ver.1 loaded."});
const std::string kDefaultSettingsLines =
    Lines({"Main", "   tarvekkeycode  =  46", "   switchtargetkeycode  =  47", "   cameraspeed  =  50",
           "   ignoreessentialactor  =  0", "   maxdistance  =  2048", "   onlyhostile  =  0"});

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class Loading : public ::testing::Test {
protected:
    void SetUp() override {
        test::MakeFolders(test::LogFolder());
        DeleteFileA(test::LogPath("Veldrin").c_str());
    }
    std::string Log(bool* exists = nullptr) const { return test::ReadFile(test::LogPath("Veldrin"), exists); }
};

TEST_F(Loading, DefaultRunLogsLoadThenSettingsAndSwitchesOnOnce) {
    const GameFolder game = test::MakeGameFolder("default");
    const test::ProcessResult run = test::RunGame(game, "--magic-effects 2");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, "query: true, name \"Tarvek\", version 1, info version 1")) << run.output;
    EXPECT_TRUE(Contains(run.output, "load: true")) << run.output;
    EXPECT_TRUE(Contains(run.output, "magic effect applied 1: sinks 1 -> 0")) << run.output;
    EXPECT_TRUE(Contains(run.output, "magic effect applied 2: sinks 0 -> 0")) << run.output;
    EXPECT_TRUE(Contains(run.output, "interned strings left by the plugin: 0")) << run.output;
    EXPECT_EQ(Log(), kLoadedLines + kDefaultSettingsLines) << "the second event changes nothing";
}

TEST_F(Loading, BeforeTheFirstMagicEffectOnlyTheLoadedLinesExist) {
    const GameFolder game = test::MakeGameFolder("loaded-only");
    ASSERT_EQ(test::RunGame(game, "--magic-effects 0").exitCode, 0u);
    EXPECT_EQ(Log(), kLoadedLines);
}

TEST_F(Loading, InterfaceQueriesComeInOrderAfterTheLogIsOpen) {
    const GameFolder game = test::MakeGameFolder("calls");
    const test::ProcessResult run = test::RunGame(game);
    EXPECT_TRUE(Contains(run.output,
                         "call: PluginHandleQuery\n"
                         "call: ReleaseIndexQuery\n"
                         "call: InterfaceQuery 1 (log present)\n"
                         "call: InterfaceQuery 2 (log present)\n"
                         "call: InterfaceQuery 3 (log present)\n"
                         "call: InterfaceQuery 4 (log present)\n"
                         "call: InterfaceQuery 5 (log present)\n"
                         "query: true"))
        << run.output;
}

struct Refusal {
    const char* name;
    const char* arguments;
    bool logCreated;  // emptied even though the query refuses
    bool releaseIndexCall;
};

class QueryRefusals : public Loading, public ::testing::WithParamInterface<Refusal> {};

TEST_P(QueryRefusals, RefuseAndLeaveTheLogAsTheGateDecides) {
    const Refusal& refusal = GetParam();
    test::WriteFile(test::LogPath("Veldrin"), "last run's lines\r\n");
    const GameFolder game = test::MakeGameFolder(refusal.name);
    const test::ProcessResult run = test::RunGame(game, refusal.arguments);
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, "query: false")) << run.output;
    EXPECT_FALSE(Contains(run.output, "\nload:")) << "the host does not load a refused plugin";
    EXPECT_EQ(Contains(run.output, "call: ReleaseIndexQuery"), refusal.releaseIndexCall) << run.output;
    EXPECT_EQ(Log(), refusal.logCreated ? "" : "last run's lines\r\n");
}

INSTANTIATE_TEST_SUITE_P(Gates, QueryRefusals,
                         ::testing::Values(Refusal{"runtime", "--runtime-version 0x09200001", false, false},
                                           Refusal{"editor", "--editor 1", false, false},
                                           Refusal{"skse-just-below", "--skse-version 0x0107002F", true, true},
                                           Refusal{"skse-1-7-0", "--skse-version 0x01070000", true, true},
                                           Refusal{"skse-1-6-10", "--skse-version 0x01060100", true, false},
                                           Refusal{"no-host-table", "--no-host-table", false, false}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

TEST_F(Loading, TheInfoFormatWordIsLeftAsTheHostSetIt) {
    const GameFolder game = test::MakeGameFolder("info-version");
    const test::ProcessResult run = test::RunGame(game, "--info-version 0x5A");
    EXPECT_TRUE(Contains(run.output, "query: true, name \"Tarvek\", version 1, info version 90")) << run.output;
}

TEST_F(Loading, ARenamedModuleLogsUnderItsOwnName) {
    DeleteFileA(test::LogPath("Ravenmoor").c_str());
    const GameFolder game = test::MakeGameFolder("renamed", "Ravenmoor.dll");
    const test::ProcessResult run = test::RunGame(game, "--plugin Ravenmoor.dll --magic-effects 0");
    EXPECT_TRUE(Contains(run.output, "name \"Tarvek\"")) << run.output;
    EXPECT_EQ(test::ReadFile(test::LogPath("Ravenmoor")), Lines({"Ravenmoor.dll", "Tarvek ver.1 loaded."}));
    EXPECT_FALSE(test::FileExists(test::LogPath("Veldrin")));
    DeleteFileA(test::LogPath("Ravenmoor").c_str());
}

TEST_F(Loading, AModuleWithAnEmptyNameRunsWithoutALog) {
    DeleteFileA((test::LogFolder() + "\\.log").c_str());
    const GameFolder game = test::MakeGameFolder("empty-name", ".dll");
    const test::ProcessResult run = test::RunGame(game, "--plugin .dll");
    EXPECT_TRUE(Contains(run.output, "call: InterfaceQuery 5 (log absent)")) << run.output;
    EXPECT_TRUE(Contains(run.output, "magic effect applied 1: sinks 1 -> 0")) << run.output;
    EXPECT_FALSE(test::FileExists(test::LogFolder() + "\\.log"));
}

TEST_F(Loading, WithoutTheLogFolderThePluginRunsWithoutALog) {
    test::RemoveFolderTree(test::LogFolder());
    const GameFolder game = test::MakeGameFolder("no-log-folder");
    const test::ProcessResult run = test::RunGame(game, "--no-log-folder");
    EXPECT_TRUE(Contains(run.output, "query: true")) << run.output;
    EXPECT_TRUE(Contains(run.output, "load: true")) << run.output;
    EXPECT_TRUE(Contains(run.output, "magic effect applied 1: sinks 1 -> 0")) << run.output;
    EXPECT_FALSE(test::FileExists(test::LogFolder())) << "folders are not created by the plugin";
}

TEST_F(Loading, SettingsComeFromTheGameFoldersIni) {
    const GameFolder game = test::MakeGameFolder("settings");
    test::WriteFile(game.pluginFolder + "\\Veldrin.ini",
                    "[Main]\r\nTarvekKeyCode = 34\r\ncameraspeed=2001\r\nMaxDistance=4096\r\n"
                    "IgnoreEssentialActor=True\r\n");
    ASSERT_EQ(test::RunGame(game).exitCode, 0u);
    EXPECT_EQ(Log(), kLoadedLines + Lines({"Main", "   tarvekkeycode  =  34", "   switchtargetkeycode  =  47",
                                           "   cameraspeed  =  50", "   ignoreessentialactor  =  1",
                                           "   maxdistance  =  4096", "   onlyhostile  =  0"}));
}

TEST_F(Loading, TheGameExplainsItsOptionsAndRejectsUnknownOnes) {
    const GameFolder game = test::MakeGameFolder("help");
    const test::ProcessResult help = test::RunGame(game, "--help");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_TRUE(Contains(help.output, "--skse-version")) << help.output;
    EXPECT_EQ(test::RunGame(game, "--bogus").exitCode, 2u);
    EXPECT_EQ(test::RunGame(game, "--editor yes").exitCode, 2u);
}

}  // namespace

// The faults a player's machine can hand the plugin: no documents folder, a log file it
// cannot write, a settings file it cannot read or that is far too long, a target deleted
// while locked, a handle that resolves to something else, a camera without its node.
// Each time the plugin goes on as its behaviour says, and the stand-in, which checks at
// the end that every reference was dropped and every block freed, reports nothing.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "e2e/Sessions.h"
#include "support/TempFiles.h"

namespace {

using test::Contains;

constexpr char kSettingsLines[] =
    "Main\r\n   tarvekkeycode  =  46\r\n   switchtargetkeycode  =  47\r\n   cameraspeed  =  50\r\n"
    "   ignoreessentialactor  =  0\r\n   maxdistance  =  2048\r\n   onlyhostile  =  0\r\n";

// The documents folder pointed elsewhere for a scope. The build's Wine prefix reads it from
// VELDRIN_DOCUMENTS (build/wine-run sets it), which the games this process starts inherit.
class DocumentsFolderElsewhere {
public:
    explicit DocumentsFolderElsewhere(const std::string& folder) {
        char value[MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableA(kVariable, value, MAX_PATH);
        had_ = length > 0 && length < MAX_PATH;
        saved_ = value;
        SetEnvironmentVariableA(kVariable, folder.c_str());
    }
    ~DocumentsFolderElsewhere() { SetEnvironmentVariableA(kVariable, had_ ? saved_.c_str() : nullptr); }
    DocumentsFolderElsewhere(const DocumentsFolderElsewhere&) = delete;
    DocumentsFolderElsewhere& operator=(const DocumentsFolderElsewhere&) = delete;

private:
    static constexpr const char* kVariable = "VELDRIN_DOCUMENTS";
    bool had_ = false;
    std::string saved_;
};

class FaultInjection : public ::testing::Test {
protected:
    void SetUp() override {
        test::MakeFolders(test::LogFolder());
        SetFileAttributesA(LogPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(LogPath().c_str());
    }
    void TearDown() override { SetFileAttributesA(LogPath().c_str(), FILE_ATTRIBUTE_NORMAL); }
    static std::string LogPath() { return test::LogPath("Veldrin"); }

    // A session that switches the plugin on and locks the bandit.
    static std::string Locking(const std::string& more = "") {
        return "player at 0 0 0 heading 0\nactor bandit at 40 600 0\nactor archer at -300 800 0\n"
               "open Loading Menu\nclose Loading Menu\nframes 1\npress keyboard 46\nframes 2\n" +
               more;
    }
    static void ExpectClean(const test::Session& session) {
        EXPECT_EQ(session.run.exitCode, 0u) << session.run.output;
        EXPECT_FALSE(Contains(session.run.output, "misuse:")) << session.run.output;
        EXPECT_TRUE(Contains(session.run.output, "magic effect applied 1: sinks 1 -> 0")) << session.run.output;
    }
};

TEST_F(FaultInjection, NoDocumentsFolderMeansNoLogAndNothingElse) {
    test::Session session;
    {
        const DocumentsFolderElsewhere gone("C:\\no-such-user\\Documents");
        session = test::Play("no-documents", Locking());
    }
    ExpectClean(session);
    EXPECT_TRUE(Contains(session.run.output, "call: InterfaceQuery 5 (log absent)")) << session.run.output;
    ASSERT_EQ(session.rows.size(), 3u);
    EXPECT_EQ(session.rows[2].target, "bandit") << "the plugin works without its log";
    EXPECT_FALSE(test::FileExists(LogPath()));
}

TEST_F(FaultInjection, ALogFileThatCannotBeWrittenIsDoneWithout) {
    const auto played = [&](const char* name) {
        const test::Session session = test::Play(name, Locking());
        ExpectClean(session);
        ASSERT_EQ(session.rows.size(), 3u);
        EXPECT_EQ(session.rows.back().target, "bandit") << name;
    };
    // Read-only. (Wine runs these tests as root, who may write such a file anyway; the
    // run must work either way.)
    test::WriteFile(LogPath(), "last run's lines\r\n");
    SetFileAttributesA(LogPath().c_str(), FILE_ATTRIBUTE_READONLY);
    played("log-read-only");
    SetFileAttributesA(LogPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(LogPath().c_str());

    // A folder where the log file should be: it cannot be opened for writing by anyone.
    ASSERT_TRUE(CreateDirectoryA(LogPath().c_str(), nullptr));
    played("log-not-a-file");
    RemoveDirectoryA(LogPath().c_str());

    // Another program holds the log open and shares it with no one.
    HANDLE held = CreateFileA(LogPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    played("log-held-open");
    CloseHandle(held);
}

TEST_F(FaultInjection, SettingsThatCannotBeReadOrAreFarTooLongKeepTheirRanges) {
    const auto logged = [&](const std::string& name, const std::string& ini, bool holdOpen = false) {
        const test::GameFolder game = test::MakeGameFolder(name);
        const std::string path = game.pluginFolder + "\\Veldrin.ini";
        test::WriteFile(path, ini);
        HANDLE held = holdOpen ? CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr)
                               : INVALID_HANDLE_VALUE;
        const test::ProcessResult run = test::RunGame(game);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(run.exitCode, 0u) << name << "\n" << run.output;
        const std::string log = test::ReadFile(LogPath());
        const std::size_t main = log.find("Main\r\n");
        return main == std::string::npos ? log : log.substr(main);
    };
    EXPECT_EQ(logged("ini-held-open", "[Main]\r\nCameraSpeed=100\r\n", true), kSettingsLines)
        << "an ini nobody may read leaves every default";

    // 1 MiB: a long comment block, then the section.
    std::string huge(1 << 20, ';');
    for (std::size_t at = 80; at < huge.size(); at += 81) huge[at] = '\n';
    const std::string log = logged("ini-huge", huge + "\r\n[Main]\r\nCameraSpeed=100\r\nMaxDistance=512\r\n");
    EXPECT_NE(log.find("   cameraspeed  =  100\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("   maxdistance  =  512\r\n"), std::string::npos) << log;

    // A section of more than 32 KiB: what lies beyond the platform's cut is never read.
    std::string section = "[Main]\r\nCameraSpeed=120\r\n";
    while (section.size() < 40000) section += "unknownkey" + std::to_string(section.size()) + "=1\r\n";
    section += "MaxDistance=900\r\n";
    const std::string cut = logged("ini-long-section", section);
    EXPECT_NE(cut.find("   cameraspeed  =  120\r\n"), std::string::npos) << cut;
    EXPECT_NE(cut.find("   maxdistance  =  2048\r\n"), std::string::npos) << "an entry past 32 KiB is not seen";
}

TEST_F(FaultInjection, ATargetDeletedOrTurnedIntoAnotherReferenceEndsTheLock) {
    const test::Session deleted = test::Play("target-deleted", Locking("delete bandit\nframes 2\n"));
    ExpectClean(deleted);
    ASSERT_EQ(deleted.rows.size(), 5u);
    EXPECT_EQ(deleted.rows[2].target, "bandit");
    EXPECT_EQ(deleted.rows[3].target, "") << "a handle that no longer resolves releases the lock";

    const test::Session object =
        test::Play("target-object", Locking("set bandit object\nframes 2\npress keyboard 46\nframes 1\n"));
    ExpectClean(object);
    ASSERT_EQ(object.rows.size(), 6u);
    EXPECT_EQ(object.rows[3].target, "") << "a handle that resolves to a non-actor releases the lock";
    EXPECT_EQ(object.rows[5].target, "archer") << "and is never a candidate";
}

TEST_F(FaultInjection, AFirstPersonCameraWithoutItsNodesStillLocksAndTracks) {
    const test::Session session =
        test::Play("no-camera-nodes", "camera first\ncamera root off\ncamera node off\n" + Locking("frames 3\n"));
    ExpectClean(session);
    ASSERT_EQ(session.rows.size(), 6u);
    EXPECT_EQ(session.rows[5].target, "bandit");
    EXPECT_GT(session.rows[5].heading, 0.0) << "steered from the player's own position and rotation";
}

}  // namespace

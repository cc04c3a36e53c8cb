#include <gtest/gtest.h>

#include <string>

#include "plugin/Framework.h"
#include "log/Log.h"
#include "support/TempFiles.h"

namespace {

TEST(LogPath, DocumentsFolderThenTheSkseFolderThenTheModuleName) {
    EXPECT_EQ(BuildLogPath("C:\\Users\\me\\Documents", "Veldrin"),
              "C:\\Users\\me\\Documents\\My Games\\Skyrim\\SKSE\\Veldrin.log");
}

TEST(LogPath, MustFitThePlatformPathBufferWithItsTerminator) {
    const std::string suffix = "\\My Games\\Skyrim\\SKSE\\Veldrin.log";
    const std::string fits(kPathBufferSize - 1 - suffix.size(), 'd');
    ASSERT_TRUE(BuildLogPath(fits, "Veldrin").has_value());
    EXPECT_EQ(BuildLogPath(fits, "Veldrin")->size(), kPathBufferSize - 1);
    EXPECT_FALSE(BuildLogPath(fits + "d", "Veldrin").has_value()) << "one byte more: no log, no overflow";
}

TEST(ModuleStem, FileNameWithoutFolderAndExtension) {
    EXPECT_EQ(ModuleStem("C:\\Game\\Data\\SKSE\\Plugins\\Veldrin.dll"), "Veldrin");
    EXPECT_EQ(ModuleStem("Z:/game/Data/Other.Name.dll"), "Other.Name");
    EXPECT_EQ(ModuleStem("C:\\Game\\NoExtension"), "NoExtension");
    EXPECT_EQ(ModuleStem("C:\\Game\\.dll"), "");
}

TEST(LogMessage, WritesOneFlushedLineAndNothingWhileClosed) {
    ASSERT_FALSE(gDebugLog.is_open());
    LogMessage("dropped %d", 1);  // never opened: accepted and discarded

    const std::string path = test::MakeTempFolder("log") + "\\plugin.log";
    gDebugLog.open(path);
    LogMessage("   %s  =  %d", "cameraspeed", 50);
    EXPECT_EQ(test::ReadFile(path), std::string("   cameraspeed  =  50") + test::kTextLineEnd)
        << "flushed before the log is closed";
    LogMessage("%s", std::string(2000, 'x').c_str());
    gDebugLog.close();
    gDebugLog.clear();

    const std::string text = test::ReadFile(path);
    EXPECT_EQ(text.substr(text.find('x')), std::string(kLogLineBufferSize - 1, 'x') + test::kTextLineEnd)
        << "a line is cut at 1023 characters";
}

TEST(DebugLog, TheCloseAtUnloadLeavesALogThatIsGoneAlone) {
    // The plugin, built before the log, is destroyed after it: then it must not touch it.
    const std::string path = test::MakeTempFolder("log-lifetime") + "\\plugin.log";
    gDebugLog.open(path);
    {
        DebugLogLifetime lifetime;  // a second marker, ended here as the log's own is at unload
    }
    CloseDebugLog();
    EXPECT_TRUE(gDebugLog.is_open()) << "a log that is gone is not touched";
    static DebugLogLifetime alive;  // alive again for the rest of the suite, until its exit
    static_cast<void>(alive);
    CloseDebugLog();
    EXPECT_FALSE(gDebugLog.is_open());
    gDebugLog.clear();
}

}  // namespace

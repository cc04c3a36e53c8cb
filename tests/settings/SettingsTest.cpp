#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "log/Log.h"
#include "settings/Settings.h"
#include "support/TempFiles.h"

namespace {

using Pieces = std::vector<std::string>;

TEST(SettingsEntrySplit, SplitsAtEveryEqualsSignButDropsATrailingEmptyPiece) {
    EXPECT_EQ(SplitSettingsEntry("a=1"), (Pieces{"a", "1"}));
    EXPECT_EQ(SplitSettingsEntry("a=1="), (Pieces{"a", "1"}));
    EXPECT_EQ(SplitSettingsEntry("a==1"), (Pieces{"a", "", "1"}));
    EXPECT_EQ(SplitSettingsEntry("=1"), (Pieces{"", "1"}));
    EXPECT_EQ(SplitSettingsEntry("a="), (Pieces{"a"}));
    EXPECT_EQ(SplitSettingsEntry("novalue"), (Pieces{"novalue"}));
}

TEST(SettingsNumbers, ReadLikeAtoiClampedTo32Bits) {
    EXPECT_EQ(ParseSettingsInteger("  42xyz"), 42);
    EXPECT_EQ(ParseSettingsInteger("-17"), -17);
    EXPECT_EQ(ParseSettingsInteger("+8"), 8);
    EXPECT_EQ(ParseSettingsInteger("abc"), 0);
    EXPECT_EQ(ParseSettingsInteger("99999999999"), 2147483647);
    EXPECT_EQ(ParseSettingsInteger("-99999999999"), -2147483647 - 1);
}

struct EntryCase {
    std::vector<const char*> entries;
    std::int32_t PluginSettings::*field;
    std::int32_t expected;
};

class SettingsEntries : public ::testing::TestWithParam<EntryCase> {};

TEST_P(SettingsEntries, ApplyAsTheReaderDoes) {
    PluginSettings settings;
    for (const char* entry : GetParam().entries) ApplySettingsEntry(settings, entry);
    EXPECT_EQ(settings.*GetParam().field, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingsEntries,
    ::testing::Values(EntryCase{{}, &PluginSettings::LockKeyCode, 46},
                      EntryCase{{}, &PluginSettings::SwitchTargetKeyCode, 47},
                      EntryCase{{}, &PluginSettings::CameraSpeed, 50},
                      EntryCase{{}, &PluginSettings::MaxDistance, 2048},
                      EntryCase{{"CameraSpeed=100"}, &PluginSettings::CameraSpeed, 100},
                      EntryCase{{"cameraspeed=49"}, &PluginSettings::CameraSpeed, 50},
                      EntryCase{{"cameraspeed=2001"}, &PluginSettings::CameraSpeed, 50},
                      EntryCase{{"cameraspeed=2000"}, &PluginSettings::CameraSpeed, 2000},
                      EntryCase{{"cameraspeed=300", "cameraspeed=50"}, &PluginSettings::CameraSpeed, 50},
                      EntryCase{{"cameraspeed=300", "cameraspeed=-5"}, &PluginSettings::CameraSpeed, 300},
                      EntryCase{{"maxdistance=abc"}, &PluginSettings::MaxDistance, 0},
                      EntryCase{{"maxdistance=100="}, &PluginSettings::MaxDistance, 100},
                      EntryCase{{"maxdistance==100"}, &PluginSettings::MaxDistance, 2048},
                      EntryCase{{"maxdistance=-1"}, &PluginSettings::MaxDistance, -1},
                      EntryCase{{"tarvekkeycode=500"}, &PluginSettings::LockKeyCode, 500},
                      EntryCase{{"SWITCHTARGETKEYCODE=20"}, &PluginSettings::SwitchTargetKeyCode, 20},
                      EntryCase{{"switchtargetkeycode =20"}, &PluginSettings::SwitchTargetKeyCode, 47},
                      EntryCase{{"=5", "maxdistance"}, &PluginSettings::MaxDistance, 2048}),
    // "Case05_cameraspeed_49": the entries as written, anything but letters and digits as _.
    [](const ::testing::TestParamInfo<EntryCase>& info) {
        std::string name = "Case" + std::string(info.index < 10 ? "0" : "") + std::to_string(info.index);
        for (const char* entry : info.param.entries) {
            name += '_';
            for (const char* c = entry; *c != '\0'; ++c)
                name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        }
        if (info.param.entries.empty()) name += "_defaults";
        return name;
    });

TEST(SettingsFlags, OnlyTheWordTrueSetsAFlagAndNothingClearsIt) {
    PluginSettings settings;
    for (const char* refused : {"onlyhostile=1", "onlyhostile=yes", "onlyhostile= true", "onlyhostile=truer"})
        ApplySettingsEntry(settings, refused);
    EXPECT_FALSE(settings.OnlyHostile);

    ApplySettingsEntry(settings, "onlyhostile=TRUE");
    ApplySettingsEntry(settings, "IgnoreEssentialActor=tRuE");
    ApplySettingsEntry(settings, "onlyhostile=false");
    EXPECT_TRUE(settings.OnlyHostile);
    EXPECT_TRUE(settings.IgnoreEssentialActor);
    EXPECT_EQ(settings.SettingsValueTable["onlyhostile"], 1);
}

// Runs the whole reader on an ini file and returns what it logged.
std::string ReadSettingsLogged(PluginSettings& settings, const std::string& folder, const std::string* ini) {
    settings.settingsPath = folder + "\\Veldrin.ini";
    if (ini) test::WriteFile(settings.settingsPath, *ini);
    const std::string logPath = folder + "\\settings.log";
    gDebugLog.open(logPath);
    ReadSettings(settings);
    gDebugLog.close();
    return test::ReadFile(logPath);
}

std::string LogLines(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) text.append(line).append(test::kTextLineEnd);
    return text;
}

TEST(ReadSettings, MissingFileLogsTheDefaultsInTheFixedOrder) {
    PluginSettings settings;
    const std::string log = ReadSettingsLogged(settings, test::MakeTempFolder("settings-missing"), nullptr);
    EXPECT_EQ(log,
              LogLines({"Main", "   tarvekkeycode  =  46", "   switchtargetkeycode  =  47", "   cameraspeed  =  50",
                        "   ignoreessentialactor  =  0", "   maxdistance  =  2048", "   onlyhostile  =  0"}));
    EXPECT_FALSE(settings.OnlyHostile);
}

TEST(ReadSettings, EntriesApplyInSortedOrderAndTheLogShowsEffectiveValues) {
    PluginSettings settings;
    const std::string ini =
        "[Other]\ncameraspeed=999\n"
        "[Main]\n"
        "maxdistance=80\nmaxdistance=500\n"  // "80" sorts after "500": 80 wins
        "CameraSpeed=4000\n"                 // out of range: ignored
        "tarvekkeycode=276\nonlyhostile=true\nonlyhostile=false\n"
        "; a comment\njunk\nnosuchkey=5\n";
    const std::string log = ReadSettingsLogged(settings, test::MakeTempFolder("settings-file"), &ini);
    EXPECT_EQ(log,
              LogLines({"Main", "   tarvekkeycode  =  276", "   switchtargetkeycode  =  47", "   cameraspeed  =  50",
                        "   ignoreessentialactor  =  0", "   maxdistance  =  80", "   onlyhostile  =  1"}));
    EXPECT_EQ(settings.MaxDistance, 80);
    EXPECT_EQ(settings.LockKeyCode, 276);
    EXPECT_TRUE(settings.OnlyHostile);
    EXPECT_TRUE(settings.SettingsValueTable.empty()) << "the table is emptied once printed";
}

TEST(ReadSettings, NegativeDistanceIsLoggedSignedAndReadUnsigned) {
    PluginSettings settings;
    const std::string ini = "[Main]\nmaxdistance=-1\n";
    const std::string log = ReadSettingsLogged(settings, test::MakeTempFolder("settings-negative"), &ini);
    EXPECT_NE(log.find(std::string("   maxdistance  =  -1") + test::kTextLineEnd), std::string::npos);
    EXPECT_EQ(static_cast<std::uint32_t>(settings.MaxDistance), 4294967295u);
}

TEST(ReadSettings, OnlyTheFirst32KiBOfASectionCount) {
    PluginSettings settings;
    std::string ini = "[Main]\n";
    while (ini.size() < 40000) ini += "padding_entry_that_matches_nothing=0\n";
    ini += "tarvekkeycode=30\n";  // beyond what the section buffer holds
    const std::string log = ReadSettingsLogged(settings, test::MakeTempFolder("settings-long"), &ini);
    EXPECT_EQ(settings.LockKeyCode, 46);
    EXPECT_NE(log.find(std::string("   tarvekkeycode  =  46") + test::kTextLineEnd), std::string::npos);
}

// The Veldrin.ini that ships in the zip, read by the plugin's own section reader.
const std::string kShippedIni = std::string(VELDRIN_SOURCE_DIR) + "/package/Veldrin.ini";

TEST(ShippedSettingsFile, NamesEveryKeyThePluginReadsOnceAtItsDefault) {
    ASSERT_TRUE(test::FileExists(kShippedIni)) << kShippedIni;
    std::set<std::string> named;
    for (const std::string& entry : ReadSettingsSection(kShippedIni)) {
        if (entry.starts_with(";")) continue;  // a comment, where the platform passes them on
        const std::vector<std::string> pieces = SplitSettingsEntry(entry);
        ASSERT_EQ(pieces.size(), 2u) << "not a key=value line: " << entry;
        const std::string key = AsciiLower(pieces[0]);
        const auto* setting = std::find_if(std::begin(kSettingDeclarations), std::end(kSettingDeclarations),
                                           [&](const SettingDeclaration& declared) { return key == declared.key; });
        ASSERT_NE(setting, std::end(kSettingDeclarations)) << pieces[0] << " is not a key the plugin reads";
        EXPECT_TRUE(named.insert(key).second) << pieces[0] << " is given twice";
        const std::string byDefault =
            setting->flag ? (setting->defaultValue ? "true" : "false") : std::to_string(setting->defaultValue);
        EXPECT_EQ(pieces[1], byDefault) << pieces[0] << " is not at its default";
    }
    EXPECT_EQ(named.size(), std::size(kSettingDeclarations)) << "a key the plugin reads is missing from the file";
}

TEST(ShippedSettingsFile, EndsEveryLineTheWindowsWay) {
    const std::string bytes = test::ReadFile(kShippedIni);
    ASSERT_FALSE(bytes.empty()) << kShippedIni;
    EXPECT_TRUE(bytes.ends_with("\r\n")) << "the last line is ended too";
    int line = 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "line " << line << " ends with a bare line feed";
            ++line;
        } else if (bytes[i] == '\r') {
            EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n')
                << "line " << line << " has a bare carriage return";
        }
    }
}

}  // namespace

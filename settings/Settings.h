#pragma once
// The six tunables, their defaults, and the reader that overrides them from the "Main"
// section of Veldrin.ini, once, at switch-on.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct PluginSettings {
    PluginSettings();  // every setting at its default

    std::int32_t LockKeyCode;
    std::int32_t SwitchTargetKeyCode;
    std::int32_t CameraSpeed;  // its readers take it as unsigned
    std::int32_t MaxDistance;  // its readers take it as unsigned
    bool OnlyHostile;
    bool IgnoreEssentialActor;
    // Effective value of every key by lowercase name, kept only to be logged.
    std::unordered_map<std::string, std::int32_t> SettingsValueTable;
    std::string settingsPath;  // found on first use when empty
};

extern PluginSettings gSettings;

// One settings key: where its value lives, its default and what is accepted. Exactly one
// of `number` and `flag` is set.
struct SettingDeclaration {
    const char* key;
    std::int32_t PluginSettings::*number;
    bool PluginSettings::*flag;
    std::int32_t defaultValue;
    bool ranged;
    std::uint32_t minimum;  // with `ranged`, compared as unsigned
    std::uint32_t maximum;
};

// Every key, in the order the log lists them.
inline constexpr SettingDeclaration kSettingDeclarations[] = {
    {"tarvekkeycode", &PluginSettings::LockKeyCode, nullptr, 46, false, 0, 0},
    {"switchtargetkeycode", &PluginSettings::SwitchTargetKeyCode, nullptr, 47, false, 0, 0},
    {"cameraspeed", &PluginSettings::CameraSpeed, nullptr, 50, true, 50, 2000},
    {"ignoreessentialactor", nullptr, &PluginSettings::IgnoreEssentialActor, 0, false, 0, 0},
    {"maxdistance", &PluginSettings::MaxDistance, nullptr, 2048, false, 0, 0},
    {"onlyhostile", nullptr, &PluginSettings::OnlyHostile, 0, false, 0, 0},
};

inline constexpr char kSettingsSection[] = "Main";
inline constexpr std::size_t kSettingsSectionBufferSize = 32768;

// Pure pieces of the reader. Lowercasing is byte by byte, A-Z only, as in the C locale.
inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string AsciiLower(std::string_view text);
// Splits at every "=", dropping the empty piece after a trailing "=".
std::vector<std::string> SplitSettingsEntry(std::string_view entry);
// The C library's atoi, clamped to the 32-bit range.
std::int32_t ParseSettingsInteger(const std::string& text);
void ApplySettingsEntry(PluginSettings& settings, std::string_view entry);

// "<folder of the game's executable>\data\SKSE\Plugins\Veldrin.ini".
std::string SettingsFilePath();
// The "Main" section's entries in file order; none when the file cannot be opened.
std::vector<std::string> ReadSettingsSection(const std::string& path);
// The entries of a section as the platform's reader leaves them in a buffer of `size`
// bytes: each ended by a zero, the list by an empty one (or by the buffer's end).
std::vector<std::string> SectionEntries(const char* section, std::size_t size);
// Applies entries in sorted order, so that of two entries for one key the one that sorts
// last wins.
void ApplySettingsEntries(PluginSettings& settings, std::vector<std::string> entries);

// Reads the file (settings.settingsPath, found when empty), applies the entries in
// sorted order, logs the effective values and empties the value table.
void ReadSettings(PluginSettings& settings);
void ReadSettings();  // for gSettings

#include "settings/Settings.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "log/Log.h"

PluginSettings gSettings;  // tunables with their defaults, before anyone reads them

namespace {

constexpr char kSettingsRelativePath[] = "data\\SKSE\\Plugins\\";
constexpr char kSettingsFileName[] = "Veldrin.ini";
constexpr std::size_t kSettingsTableBuckets = 8;
constexpr char kFlagTrue[] = "true";

using ValueTable = std::unordered_map<std::string, std::int32_t>;

ValueTable DefaultValueTable() {
    ValueTable table(kSettingsTableBuckets);
    table.max_load_factor(1.0f);
    for (const SettingDeclaration& setting : kSettingDeclarations) table[setting.key] = setting.defaultValue;
    return table;
}

const SettingDeclaration* FindSetting(std::string_view key) {
    for (const SettingDeclaration& setting : kSettingDeclarations)
        if (key == setting.key) return &setting;
    return nullptr;
}

}  // namespace

PluginSettings::PluginSettings() : SettingsValueTable(DefaultValueTable()) {
    for (const SettingDeclaration& setting : kSettingDeclarations) {
        if (setting.number) this->*setting.number = setting.defaultValue;
        if (setting.flag) this->*setting.flag = setting.defaultValue != 0;
    }
}

std::string AsciiLower(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) c = AsciiLower(c);
    return lowered;
}

std::vector<std::string> SplitSettingsEntry(std::string_view entry) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < entry.size()) {
        const std::size_t equals = entry.find('=', start);
        if (equals == std::string_view::npos) {
            pieces.emplace_back(entry.substr(start));
            break;
        }
        pieces.emplace_back(entry.substr(start, equals - start));
        start = equals + 1;
    }
    return pieces;
}

std::int32_t ParseSettingsInteger(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

void ApplySettingsEntry(PluginSettings& settings, std::string_view entry) {
    if (entry.empty()) return;
    const std::vector<std::string> pieces = SplitSettingsEntry(entry);
    if (pieces.size() != 2) return;
    const std::string key = AsciiLower(pieces[0]);
    if (key.empty()) return;
    const SettingDeclaration* setting = FindSetting(key);
    if (setting == nullptr) return;

    if (setting->flag) {
        // Only "true" sets a flag; nothing ever clears one.
        if (AsciiLower(pieces[1]) == kFlagTrue) {
            settings.*setting->flag = true;
            settings.SettingsValueTable[key] = 1;
        }
        return;
    }
    const std::int32_t value = ParseSettingsInteger(pieces[1]);
    const auto asUnsigned = static_cast<std::uint32_t>(value);
    if (setting->ranged && (asUnsigned < setting->minimum || asUnsigned > setting->maximum)) return;
    settings.*setting->number = value;
    settings.SettingsValueTable[key] = value;
}

std::string SettingsFilePath() {
    char folder[kPathBufferSize] = {};
    GetModuleFileNameA(nullptr, folder, sizeof folder);
    PathRemoveFileSpecA(folder);
    return std::string(folder) + "\\" + kSettingsRelativePath + kSettingsFileName;
}

std::vector<std::string> ReadSettingsSection(const std::string& path) {
    if (!std::ifstream(path).is_open()) return {};
    std::vector<char> section(kSettingsSectionBufferSize, '\0');
    GetPrivateProfileSectionA(kSettingsSection, section.data(), static_cast<DWORD>(section.size()), path.c_str());
    return SectionEntries(section.data(), section.size());
}

std::vector<std::string> SectionEntries(const char* section, std::size_t size) {
    // Entries are zero-terminated and end with an empty one; the buffer's end stops a
    // section the platform left unterminated.
    std::vector<std::string> entries;
    const char* const end = section + size;
    for (const char* entry = section; entry < end && *entry != '\0';) {
        const char* stop = std::find(entry, end, '\0');
        entries.emplace_back(entry, stop);
        entry = stop + 1;
    }
    return entries;
}

void ApplySettingsEntries(PluginSettings& settings, std::vector<std::string> entries) {
    std::sort(entries.begin(), entries.end());  // so the entry that sorts last wins
    for (const std::string& entry : entries) ApplySettingsEntry(settings, entry);
}

void ReadSettings(PluginSettings& settings) {
    if (settings.settingsPath.empty()) settings.settingsPath = SettingsFilePath();
    ApplySettingsEntries(settings, ReadSettingsSection(settings.settingsPath));

    LogMessage("%s", kSettingsSection);
    for (const SettingDeclaration& setting : kSettingDeclarations)
        LogMessage("   %s  =  %d", setting.key, static_cast<int>(settings.SettingsValueTable[setting.key]));

    settings.SettingsValueTable = ValueTable(kSettingsTableBuckets);
}

void ReadSettings() { ReadSettings(gSettings); }

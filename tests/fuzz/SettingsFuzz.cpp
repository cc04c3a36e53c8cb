// Any bytes as the "Main" section the platform's reader leaves in the plugin's buffer: no
// terminator, huge entries, many "=", zero bytes. A ranged value always ends within its
// range, and the values the log would print are the ones in force.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "settings/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PluginSettings settings;
    ApplySettingsEntries(settings, SectionEntries(reinterpret_cast<const char*>(data), size));
    for (const SettingDeclaration& setting : kSettingDeclarations) {
        const std::int32_t logged = settings.SettingsValueTable.at(setting.key);
        const std::int32_t held = setting.number ? settings.*setting.number : (settings.*setting.flag ? 1 : 0);
        fuzz::Require(logged == held);
        const auto compared = static_cast<std::uint32_t>(held);  // ranges compare as unsigned
        if (setting.ranged) fuzz::Require(compared >= setting.minimum && compared <= setting.maximum);
    }
    return 0;
}

#pragma once
// The script extender's side of the plugin: its two entry points and the small plugin
// framework behind them.

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "host/Skse.h"

// "C:\game\Data\SKSE\Plugins\Veldrin.dll" -> "Veldrin".
std::string ModuleStem(std::string_view modulePath);

class SKSEPlugin {
public:
    // Registers the object as the plugin instance. A plugin class states whether it has
    // a mod-loaded step; see OverridesOnModLoaded.
    explicit SKSEPlugin(bool overridesOnModLoaded);
    virtual ~SKSEPlugin();  // closes the log

    virtual bool OnQuery() = 0;
    virtual bool OnLoad();  // writes the two "loaded" lines
    virtual void OnModLoaded() {}

    bool HasModLoadedStep() const { return overridesOnModLoaded_; }

private:
    bool overridesOnModLoaded_;
};

// True when Plugin declares its own OnModLoaded rather than keeping the base's empty one.
template <class Plugin>
inline constexpr bool OverridesOnModLoaded = !std::is_same_v<decltype(&Plugin::OnModLoaded), void (SKSEPlugin::*)()>;

// What the host handed over at query time, kept for the load step and the plugin.
struct PluginFrameworkState {
    SKSEPlugin* instance;
    const host::SKSEInterface* skse;
    host::PluginInfo* info;
    std::uint32_t scriptExtenderVersion;
};
extern PluginFrameworkState gFramework;

extern "C" {
bool SKSEPlugin_Query(const host::SKSEInterface* skse, host::PluginInfo* info);
bool SKSEPlugin_Load(const host::SKSEInterface* skse);
}

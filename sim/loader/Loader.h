#pragma once
// The script extender's plugin loader, as far as the plugin can tell: loads the module
// from the game folder, fills the interface and info records, calls query then load, and
// records every callback the plugin makes.

#include <cstdint>
#include <string>
#include <vector>

#include "host/Skse.h"

namespace sim {

struct LoaderOptions {
    std::string gameFolder;  // holds Data\SKSE\Plugins\ (empty: this program's folder)
    std::string pluginFile = "Veldrin.dll";
    std::uint32_t scriptExtenderVersion = host::kMinScriptExtenderVersion;
    std::uint32_t runtimeVersion = host::kRuntimeVersion;
    std::uint32_t isEditor = 0;
    std::uint32_t infoVersion = 1;  // PluginInfo's format word as the host sets it
    bool createLogFolder = true;    // "My Games\Skyrim\SKSE" under the documents folder
};

struct LoadReport {
    std::string pluginPath;
    bool moduleLoaded = false;
    bool queried = false;
    bool queryResult = false;
    bool loadResult = false;
    host::PluginInfo info{};
    std::string name;                // copied from info.name, which lives in the module
    std::vector<std::string> calls;  // "PluginHandleQuery", "InterfaceQuery 3 (log present)", ...
};

class Loader {
public:
    explicit Loader(LoaderOptions options);
    ~Loader();  // unloads the module
    Loader(const Loader&) = delete;
    Loader& operator=(const Loader&) = delete;

    // Loads the module and runs query, then load when the query accepted.
    const LoadReport& Run();
    void Unload();

    const LoadReport& Report() const { return report_; }
    // Where the plugin's log for this module is expected.
    std::string LogPath() const;
    std::string PluginFolder() const;

private:
    LoaderOptions options_;
    LoadReport report_;
    void* module_ = nullptr;
    host::SKSEInterface interface_{};
};

// The folder holding this program.
std::string ProgramFolder();
// The current user's documents folder, or empty.
std::string DocumentsFolder();
std::string LogFolder();  // "<documents>\My Games\Skyrim\SKSE"

}  // namespace sim

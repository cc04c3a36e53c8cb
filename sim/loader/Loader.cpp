#include "sim/loader/Loader.h"

#include <windows.h>
#include <shlobj.h>

#include <utility>

namespace sim {

namespace {

// Callbacks of the interface record carry no context, as in the real script extender.
Loader* activeLoader = nullptr;
LoadReport* activeReport = nullptr;

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void* HOST_CDECL InterfaceQuery(std::uint32_t id) {
    if (activeReport) {
        const bool logPresent = activeLoader && FileExists(activeLoader->LogPath());
        activeReport->calls.push_back("InterfaceQuery " + std::to_string(id) +
                                      (logPresent ? " (log present)" : " (log absent)"));
    }
    return nullptr;  // no extra interfaces on offer
}

std::uint32_t HOST_CDECL PluginHandleQuery() {
    if (activeReport) activeReport->calls.push_back("PluginHandleQuery");
    return 1;
}

std::uint32_t HOST_CDECL ReleaseIndexQuery() {
    if (activeReport) activeReport->calls.push_back("ReleaseIndexQuery");
    return 0;
}

std::string Stem(const std::string& file) {
    const std::size_t dot = file.find_last_of('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

}  // namespace

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    const std::size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

std::string DocumentsFolder() {
    char path[MAX_PATH] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
    return path;
}

std::string LogFolder() { return DocumentsFolder() + "\\My Games\\Skyrim\\SKSE"; }

Loader::Loader(LoaderOptions options) : options_(std::move(options)) {
    if (options_.gameFolder.empty()) options_.gameFolder = ProgramFolder();
    interface_.scriptExtenderVersion = options_.scriptExtenderVersion;
    interface_.runtimeVersion = options_.runtimeVersion;
    interface_.isEditor = options_.isEditor;
    interface_.InterfaceQuery = InterfaceQuery;
    interface_.PluginHandleQuery = PluginHandleQuery;
    interface_.ReleaseIndexQuery = ReleaseIndexQuery;
    report_.info.infoVersion = options_.infoVersion;
}

Loader::~Loader() { Unload(); }

std::string Loader::PluginFolder() const { return options_.gameFolder + "\\Data\\SKSE\\Plugins"; }

std::string Loader::LogPath() const { return LogFolder() + "\\" + Stem(options_.pluginFile) + ".log"; }

const LoadReport& Loader::Run() {
    if (options_.createLogFolder) SHCreateDirectoryExA(nullptr, LogFolder().c_str(), nullptr);
    report_.pluginPath = PluginFolder() + "\\" + options_.pluginFile;
    HMODULE module = LoadLibraryA(report_.pluginPath.c_str());
    module_ = module;
    report_.moduleLoaded = module != nullptr;
    if (!module) return report_;

    using QueryEntry = bool(HOST_CDECL*)(const host::SKSEInterface*, host::PluginInfo*);
    using LoadEntry = bool(HOST_CDECL*)(const host::SKSEInterface*);
    // Through void*: GetProcAddress's own pointer type says nothing of the entry's.
    auto query = reinterpret_cast<QueryEntry>(reinterpret_cast<void*>(GetProcAddress(module, "SKSEPlugin_Query")));
    auto load = reinterpret_cast<LoadEntry>(reinterpret_cast<void*>(GetProcAddress(module, "SKSEPlugin_Load")));
    if (!query || !load) return report_;

    activeLoader = this;
    activeReport = &report_;
    report_.queried = true;
    report_.queryResult = query(&interface_, &report_.info);
    if (report_.info.name) report_.name = report_.info.name;
    if (report_.queryResult) report_.loadResult = load(&interface_);
    activeLoader = nullptr;
    activeReport = nullptr;
    return report_;
}

void Loader::Unload() {
    if (module_) FreeLibrary(static_cast<HMODULE>(module_));
    module_ = nullptr;
}

}  // namespace sim

#include "plugin/Framework.h"

#include "host/Host.h"
#include "log/Log.h"

PluginFrameworkState gFramework;

std::string ModuleStem(std::string_view modulePath) {
    const std::size_t slash = modulePath.find_last_of("\\/");
    std::string_view name = slash == std::string_view::npos ? modulePath : modulePath.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    return std::string(name.substr(0, kPathBufferSize - 1));
}

SKSEPlugin::SKSEPlugin(bool overridesOnModLoaded) : overridesOnModLoaded_(overridesOnModLoaded) {
    gFramework.instance = this;
}

SKSEPlugin::~SKSEPlugin() {
    // At module unload the log, built after the plugin, has already gone and closed itself.
    CloseDebugLog();
    if (gFramework.instance == this) gFramework.instance = nullptr;
}

bool SKSEPlugin::OnLoad() {
    const host::PluginInfo* info = gFramework.info;
    gDebugLog << ModuleName << ".dll" << std::endl;
    if (info != nullptr && info->name != nullptr)
        gDebugLog << info->name << " ver." << info->version << " loaded." << std::endl;
    return true;
}

extern "C" bool SKSEPlugin_Query(const host::SKSEInterface* skse, host::PluginInfo* info) {
    // Without the game's entry points nothing could work, so the host is told no.
    if (gFramework.instance == nullptr || host::Table() == nullptr) return false;
    gFramework.skse = skse;
    gFramework.info = info;
    if (skse == nullptr || info == nullptr) return false;
    if (skse->isEditor != 0) return false;
    if (skse->runtimeVersion != host::kRuntimeVersion) return false;
    if (skse->PluginHandleQuery) skse->PluginHandleQuery();
    gFramework.scriptExtenderVersion = skse->scriptExtenderVersion;
    if (gFramework.scriptExtenderVersion >= host::kReleaseIndexVersion && skse->ReleaseIndexQuery)
        skse->ReleaseIndexQuery();
    try {
        OpenPluginLog();
    } catch (...) {
        // No log for this run; the plugin works the same without one.
    }
    if (skse->InterfaceQuery) {
        for (std::uint32_t id = host::kInterfaceQueryFirstId; id <= host::kInterfaceQueryLastId; ++id)
            skse->InterfaceQuery(id);
    }
    try {
        return gFramework.instance->OnQuery();
    } catch (...) {
        return false;
    }
}

namespace {

// One-shot: the first magic effect applied after load switches the plugin on.
class ModLoadedEventSink final : public host::BSTEventSink<host::TESMagicEffectApplyEvent> {
public:
    HOST_THISCALL void* DeletingDestructor(std::uint32_t) override { return this; }  // static: never freed

    HOST_THISCALL host::EventResult ReceiveEvent(
        host::TESMagicEffectApplyEvent*, host::BSTEventSource<host::TESMagicEffectApplyEvent>* source) override {
        host::RemoveEventSink(source, this);
        try {
            if (gFramework.instance != nullptr) gFramework.instance->OnModLoaded();
        } catch (...) {
            // Nothing may cross back into the host's dispatch.
        }
        return host::EventResult::kContinue;
    }
};

// Stateless, and never freed: the one instance outlives every source it is added to.
ModLoadedEventSink modLoadedSink;

}  // namespace

extern "C" bool SKSEPlugin_Load(const host::SKSEInterface*) {
    SKSEPlugin* plugin = gFramework.instance;
    if (plugin == nullptr) return false;
    try {
        if (!plugin->OnLoad()) return false;
    } catch (...) {
        return false;
    }
    if (!plugin->HasModLoadedStep()) return true;
    const host::HostTable* table = host::Table();
    host::AddEventSink(table ? table->MagicEffectApplyEventSource : nullptr, &modLoadedSink);
    return true;
}

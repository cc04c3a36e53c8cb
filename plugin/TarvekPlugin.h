#pragma once

#include "plugin/Framework.h"

inline constexpr char kPluginName[] = "Tarvek";
inline constexpr std::uint32_t kPluginVersion = 1;

class TarvekPlugin final : public SKSEPlugin {
public:
    TarvekPlugin() : SKSEPlugin(OverridesOnModLoaded<TarvekPlugin>) {}

    bool OnQuery() override;  // version gate, then name and version
    bool OnLoad() override;
    void OnModLoaded() override;  // switches the whole plugin on, once
};

extern TarvekPlugin gPlugin;

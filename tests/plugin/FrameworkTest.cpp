// The plugin framework run in-process against the stand-in loader's records. ModuleName
// is empty in a test program, so no log file is touched here.

#include <gtest/gtest.h>

#include "plugin/Framework.h"
#include "plugin/TarvekPlugin.h"
#include "sim/game/Game.h"

namespace {

class PluginWithoutModLoadedStep final : public SKSEPlugin {
public:
    PluginWithoutModLoadedStep() : SKSEPlugin(OverridesOnModLoaded<PluginWithoutModLoadedStep>) {}
    bool OnQuery() override { return true; }
};

static_assert(OverridesOnModLoaded<TarvekPlugin>);
static_assert(!OverridesOnModLoaded<PluginWithoutModLoadedStep>);

TEST(PluginFramework, APluginWithoutAModLoadedStepRegistersNoSink) {
    auto& source = sim::TheGame().magicEffectApplied;
    const std::uint32_t sinks = sim::SinkCount(source);
    const PluginFrameworkState saved = gFramework;
    {
        PluginWithoutModLoadedStep plugin;
        EXPECT_EQ(gFramework.instance, &plugin);
        host::PluginInfo info{};
        host::SKSEInterface skse{
            host::kMinScriptExtenderVersion, host::kRuntimeVersion, 0, 0, nullptr, nullptr, nullptr};
        EXPECT_TRUE(SKSEPlugin_Query(&skse, &info));
        EXPECT_TRUE(SKSEPlugin_Load(&skse));
        EXPECT_EQ(sim::SinkCount(source), sinks);
    }
    EXPECT_EQ(gFramework.instance, nullptr) << "a destroyed plugin is no longer the instance";
    gFramework = saved;
}

TEST(PluginFramework, QueryRefusesWithoutAnInstance) {
    const PluginFrameworkState saved = gFramework;
    gFramework.instance = nullptr;
    host::PluginInfo info{};
    host::SKSEInterface skse{host::kMinScriptExtenderVersion, host::kRuntimeVersion, 0, 0, nullptr, nullptr, nullptr};
    EXPECT_FALSE(SKSEPlugin_Query(&skse, &info));
    EXPECT_FALSE(SKSEPlugin_Load(&skse));
    EXPECT_EQ(info.name, nullptr);
    gFramework = saved;
}

}  // namespace

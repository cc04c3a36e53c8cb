// simgame.exe: the stand-in game. Run from a game folder, it loads the plugin the way the
// script extender does and tells what happened.

#include <cstdio>
#include <fstream>
#include <sstream>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/game/Game.h"
#include "sim/loader/Loader.h"
#include "sim/scenario/Scenario.h"
#include "sim/game/StringPool.h"
#include "sim/game/World.h"

namespace {

constexpr char kUsage[] =
    "usage: simgame.exe [options] [SCENARIO]\n"
    "Loads Data\\SKSE\\Plugins\\<plugin> from the folder holding simgame.exe, as the script\n"
    "extender does: query, then load, then the magic-effect-applied events that switch the\n"
    "plugin on. Prints each call the plugin made back into the loader.\n"
    "\n"
    "  --plugin FILE            plugin file name in Data\\SKSE\\Plugins (default Veldrin.dll)\n"
    "  --skse-version WORD      script-extender version word (default 0x01070030)\n"
    "  --runtime-version WORD   game runtime version word (default 0x09200000)\n"
    "  --editor FLAG            editor flag of the interface record (default 0)\n"
    "  --info-version WORD      format word the host puts in the plugin info (default 1)\n"
    "  --magic-effects N        magic-effect-applied events to send after load (default 1)\n"
    "  --no-log-folder          do not create \"My Games\\Skyrim\\SKSE\" in the documents folder\n"
    "  --no-host-table          offer the plugin no host table, as the real game does\n"
    "  --record FILE            where a scenario's frame record goes (default record.csv)\n"
    "  --picture FILE           also draw the scenario's session as a PNG picture\n"
    "  --help                   this text\n"
    "Numbers take decimal or 0x-prefixed hexadecimal.\n"
    "\n"
    "With a SCENARIO file, plays it once the plugin is switched on: its actors, key presses,\n"
    "menus and frames (see the README for the format). Each frame goes to the record as a\n"
    "CSV line; what happened (locks, switches, releases) is printed as it happens.\n";

struct Options {
    sim::LoaderOptions loader;
    std::string scenario;
    std::string record = "record.csv";
    std::string picture;
    unsigned magicEffects = 1;
    bool hostTable = true;
};

bool ParseNumber(const char* text, std::uint32_t& out) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 0);
    if (end == text || *end != '\0') return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

// Returns 0 to go on, otherwise the exit code.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help") {
            std::fputs(kUsage, stdout);
            return -1;
        }
        if (option == "--no-log-folder") {
            options.loader.createLogFolder = false;
            continue;
        }
        if (option == "--no-host-table") {
            options.hostTable = false;
            continue;
        }
        if (option.rfind("--", 0) != 0) {
            if (!options.scenario.empty()) {
                std::fprintf(stderr, "simgame: one scenario at a time\n%s", kUsage);
                return 2;
            }
            options.scenario = option;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "simgame: %s needs a value\n%s", option.c_str(), kUsage);
            return 2;
        }
        const char* value = argv[++i];
        std::uint32_t number = 0;
        bool ok = true;
        if (option == "--plugin")
            options.loader.pluginFile = value;
        else if (option == "--record")
            options.record = value;
        else if (option == "--picture")
            options.picture = value;
        else if (option == "--skse-version")
            ok = ParseNumber(value, options.loader.scriptExtenderVersion);
        else if (option == "--runtime-version")
            ok = ParseNumber(value, options.loader.runtimeVersion);
        else if (option == "--editor")
            ok = ParseNumber(value, options.loader.isEditor);
        else if (option == "--info-version")
            ok = ParseNumber(value, options.loader.infoVersion);
        else if (option == "--magic-effects")
            ok = ParseNumber(value, number), options.magicEffects = number;
        else {
            std::fprintf(stderr, "simgame: unknown option %s\n%s", option.c_str(), kUsage);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "simgame: %s takes a number, not \"%s\"\n", option.c_str(), value);
            return 2;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int exit = ParseOptions(argc, argv, options)) return exit < 0 ? 0 : exit;
    sim::Scenario scenario;
    try {
        if (!options.scenario.empty()) scenario = sim::LoadScenario(options.scenario);
    } catch (const sim::ScenarioError& error) {
        std::fprintf(stderr, "simgame: %s\n", error.what());
        return 2;
    }
    sim::ExportHostTable(options.hostTable);
    // The game's world exists before any plugin loads, with the game's own FreezeEventHandler
    // listening to menus opening and closing.
    sim::TheWorld().AddMenuSink(sim::kFreezeHandlerDecorated);

    // Names the game keeps for menus the plugin registers are the game's, not a leak.
    const auto hostHeld = [] { return sim::Strings().LiveStrings() - sim::TheWorld().RegisteredMenus(); };
    const std::size_t stringsBefore = hostHeld();
    sim::Loader loader(options.loader);
    const sim::LoadReport& report = loader.Run();
    std::printf("plugin: %s\n", report.pluginPath.c_str());
    if (!report.moduleLoaded || !report.queried) {
        std::printf("plugin: not loaded (no module or no entry points)\n");
        return 0;
    }
    for (const std::string& call : report.calls) std::printf("call: %s\n", call.c_str());
    std::printf("query: %s, name \"%s\", version %u, info version %u\n", report.queryResult ? "true" : "false",
                report.name.c_str(), report.info.version, report.info.infoVersion);
    if (report.queryResult) std::printf("load: %s\n", report.loadResult ? "true" : "false");

    auto& source = sim::TheGame().magicEffectApplied;
    for (unsigned i = 1; report.loadResult && i <= options.magicEffects; ++i) {
        const std::uint32_t before = sim::SinkCount(source);
        host::TESMagicEffectApplyEvent event{};
        sim::Send(source, event);
        std::printf("magic effect applied %u: sinks %u -> %u\n", i, before, sim::SinkCount(source));
    }

    if (!options.scenario.empty()) {
        std::ofstream record(options.record, std::ios::binary);
        if (!record) {
            std::fprintf(stderr, "simgame: cannot write the record %s\n", options.record.c_str());
            return 2;
        }
        std::printf("scenario: %s\n", options.scenario.c_str());
        std::ostringstream story;
        const sim::SessionTrace trace = sim::RunScenario(scenario, sim::TheWorld(), record, story);
        std::fputs(story.str().c_str(), stdout);
        std::printf("record: %s\n", options.record.c_str());
        int markerEvents = 0;
        const auto& calls = sim::TheWorld().code.sinkCalls;
        for (const sim::ForeignSinkCall& call : calls)
            markerEvents += call.menuName != nullptr && std::string(call.menuName) == "Tarvek Menu";
        std::printf("freeze handler: %d menu events reached it, %d of them for Tarvek Menu\n",
                    static_cast<int>(calls.size()), markerEvents);
        if (!options.picture.empty()) {
            if (!sim::DrawSession(trace, options.picture)) {
                std::fprintf(stderr, "simgame: cannot write the picture %s\n", options.picture.c_str());
                return 2;
            }
            std::printf("picture: %s\n", options.picture.c_str());
        }
    }

    loader.Unload();
    // A scenario's actors hold names of their own, so the count only tells after a plain load.
    if (options.scenario.empty())
        std::printf("unload: interned strings left by the plugin: %d\n",
                    static_cast<int>(hostHeld()) - static_cast<int>(stringsBefore));
    std::printf("log: %s\n", loader.LogPath().c_str());
    return 0;
}

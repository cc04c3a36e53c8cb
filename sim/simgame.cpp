// simgame.exe: the stand-in game. Run from a game folder, it loads the plugin the way the
// script extender does and tells what happened.

#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/game/Faults.h"
#include "sim/game/Game.h"
#include "sim/game/Heaps.h"
#include "sim/game/Misuse.h"
#include "sim/game/StringPool.h"
#include "sim/game/World.h"
#include "sim/loader/Loader.h"
#include "sim/scenario/Scenario.h"

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
    "  --fault NAME             give one of the game's bad answers (repeatable; see below)\n"
    "  --record FILE            where a scenario's frame record goes (default record.csv)\n"
    "  --picture FILE           also draw the scenario's session as a PNG picture\n"
    "  --replay FILE            also write the session frame by frame as JSON (the replay page's)\n"
    "  --screen WIDTHxHEIGHT    the display the game reports, over the scenario's screen lines\n"
    "  --serve                  play sessions one after another, each given on a line (below)\n"
    "  --help                   this text\n"
    "Numbers are 32-bit unsigned, decimal or 0x-prefixed hexadecimal.\n"
    "\n"
    "With a SCENARIO file, plays it once the plugin is switched on: its actors, key presses,\n"
    "menus and frames (see the README for the format). Each frame goes to the record as a\n"
    "CSV line; what happened (locks, switches, releases) is printed as it happens.\n"
    "\n"
    "The stand-in game is strict: it reports what the real game would punish (a reference\n"
    "dropped below zero, a block freed twice, a sink left registered in freed memory, a\n"
    "movie call the movie cannot take, a page of game code left writable, a half-written\n"
    "patch) and then exits with code 3.\n"
    "\n"
    "Exit codes: 0 done; 1 the plugin could not be loaded (no module or no entry points);\n"
    "2 a bad option or scenario; 3 the stand-in game caught the plugin misusing it.\n"
    "\n"
    "simgame.exe --serve plays many sessions in one process, each as a new process would:\n"
    "it prints \"simgame: ready\", reads one line of standard input (a session's options and\n"
    "scenario, separated by tabs), plays it and prints its \"simgame: exit code N\" line,\n"
    "everything on standard output, error messages too. It takes the next session after one\n"
    "that ran to its end or was refused before the game began; after any other it exits\n"
    "with that session's code. It exits 0 at the end of its input.\n"
    "\n"
    "Faults (--fault NAME, or a \"fault NAME\" line at the top of a scenario):\n";

struct Options {
    sim::LoaderOptions loader;
    std::string scenario;
    std::string record = "record.csv";
    std::string picture;
    std::string replay;
    bool screenGiven = false;  // otherwise the display is as the scenario says
    std::uint32_t screenWidth = 0, screenHeight = 0;
    std::uint32_t magicEffects = 1;
    bool hostTable = true;
};

void PrintUsage(std::FILE* to) {
    std::fputs(kUsage, to);
    for (const sim::FaultDeclaration& fault : sim::FaultDeclarations())
        std::fprintf(to, "  %-24s %s\n", fault.name, fault.meaning);
}

// A 32-bit unsigned number, without a sign: "-1" is refused, not read as 4294967295.
bool ParseNumber(const char* text, std::uint32_t& out) {
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (end == text || *end != '\0' || text[0] == '-' || text[0] == '+' || errno == ERANGE || value > UINT32_MAX)
        return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

// Returns 0 to go on, -1 after --help, otherwise the exit code.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help") {
            PrintUsage(stdout);
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
        if (option == "--serve") {
            std::fprintf(stderr, "simgame: --serve comes alone: the sessions bring their own options\n");
            return 2;
        }
        if (option.rfind("--", 0) != 0) {
            if (!options.scenario.empty()) {
                std::fprintf(stderr, "simgame: one scenario at a time\n");
                return 2;
            }
            options.scenario = option;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "simgame: %s needs a value (see --help)\n", option.c_str());
            return 2;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (option == "--plugin")
            options.loader.pluginFile = value;
        else if (option == "--record")
            options.record = value;
        else if (option == "--picture")
            options.picture = value;
        else if (option == "--replay")
            options.replay = value;
        else if (option == "--screen") {
            const char* by = std::strchr(value, 'x');
            const std::string width(value, by ? by - value : 0);
            if (!by || !ParseNumber(width.c_str(), options.screenWidth) || !ParseNumber(by + 1, options.screenHeight)) {
                std::fprintf(stderr, "simgame: --screen takes WIDTHxHEIGHT in pixels, not \"%s\"\n", value);
                return 2;
            }
            options.screenGiven = true;
        } else if (option == "--skse-version")
            ok = ParseNumber(value, options.loader.scriptExtenderVersion);
        else if (option == "--runtime-version")
            ok = ParseNumber(value, options.loader.runtimeVersion);
        else if (option == "--editor")
            ok = ParseNumber(value, options.loader.isEditor);
        else if (option == "--info-version")
            ok = ParseNumber(value, options.loader.infoVersion);
        else if (option == "--magic-effects")
            ok = ParseNumber(value, options.magicEffects);
        else if (option == "--fault") {
            if (!sim::SwitchOnFault(value, sim::Faults())) {
                std::fprintf(stderr, "simgame: unknown fault \"%s\" (see --help)\n", value);
                return 2;
            }
            continue;
        } else {
            std::fprintf(stderr, "simgame: unknown option %s (see --help)\n", option.c_str());
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "simgame: %s takes a 32-bit unsigned number, not \"%s\"\n", option.c_str(), value);
            return 2;
        }
    }
    return 0;
}

int PlayScenario(const Options& options, const sim::Scenario& scenario) {
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
    if (!options.picture.empty()) {
        if (!sim::DrawSession(trace, options.picture)) {
            std::fprintf(stderr, "simgame: cannot write the picture %s\n", options.picture.c_str());
            return 2;
        }
        std::printf("picture: %s\n", options.picture.c_str());
    }
    if (!options.replay.empty()) {
        if (!sim::WriteReplay(trace, options.replay)) {
            std::fprintf(stderr, "simgame: cannot write the replay %s\n", options.replay.c_str());
            return 2;
        }
        std::printf("replay: %s\n", options.replay.c_str());
    }
    return 0;
}

int PlaySession(const Options& options, sim::Scenario& scenario) {
    for (const std::string& fault : scenario.faults) sim::SwitchOnFault(fault, sim::Faults());
    if (options.screenGiven) {
        // The session on another display: the scenario's own sizes give way.
        std::erase_if(scenario.commands, [](const sim::ScenarioCommand& command) { return command.verb == "screen"; });
        sim::TheGame().screenWidth = options.screenWidth;
        sim::TheGame().screenHeight = options.screenHeight;
    }
    sim::ExportHostTable(options.hostTable);

    // The game's world exists before any plugin loads. Its sinks listen to menus opening and
    // closing: two FreezeEventHandlers of the game's sharing one table, another class of the
    // game's, and one of another module whose type information is not the game's.
    const std::size_t stringsBefore = sim::Strings().LiveStrings();
    sim::World& world = sim::TheWorld();
    const sim::ForeignSink* freeze = world.AddMenuSink(sim::kFreezeHandlerDecorated);
    const sim::ForeignSink* twin = world.AddMenuSink(sim::kFreezeHandlerDecorated);
    world.AddMenuSink(".?AVMenuModeChangeHandler@@");
    world.AddMenuSink(".?AVOverlayWatcher@@", false, sim::TypeInfoOwner::kOtherModule);

    sim::Loader loader(options.loader);
    const sim::LoadReport& report = loader.Run();
    std::printf("plugin: %s\n", report.pluginPath.c_str());
    if (!report.moduleLoaded || !report.queried) {
        std::printf("plugin: not loaded (no module or no entry points)\n");
        return 1;
    }
    for (const std::string& call : report.calls) std::printf("call: %s\n", call.c_str());
    std::printf("query: %s, name \"%s\", version %u, info version %u\n", report.queryResult ? "true" : "false",
                report.name.c_str(), report.info.version, report.info.infoVersion);
    if (report.queryResult) std::printf("load: %s\n", report.loadResult ? "true" : "false");

    auto& source = sim::TheGame().magicEffectApplied;
    for (std::uint32_t i = 1; report.loadResult && i <= options.magicEffects; ++i) {
        const std::uint32_t before = sim::SinkCount(source);
        host::TESMagicEffectApplyEvent event{};
        sim::Send(source, event);
        std::printf("magic effect applied %u: sinks %u -> %u\n", i, before, sim::SinkCount(source));
    }

    if (!options.scenario.empty())
        if (const int exit = PlayScenario(options, scenario)) return exit;

    for (const sim::ForeignSink* handler : {freeze, twin}) {
        int reached = 0, markerEvents = 0;
        for (const sim::ForeignSinkCall& call : world.code.sinkCalls) {
            if (call.sinkId != handler->id) continue;
            ++reached;
            markerEvents += call.menuName != nullptr && std::strcmp(call.menuName, "Tarvek Menu") == 0;
        }
        std::printf("freeze handler: %d menu events reached it, %d of them for Tarvek Menu\n", reached, markerEvents);
    }
    std::printf("game code patched: %s\n", world.code.PatchedSites().c_str());

    // The game ends: its menus close and go, its code and references are checked, then the
    // plugin unloads; what it took from the game must all be back.
    sim::DestroyWorld();
    loader.Unload();
    const int strings = static_cast<int>(sim::Strings().LiveStrings()) - static_cast<int>(stringsBefore);
    std::printf("unload: interned strings left by the plugin: %d\n", strings);
    if (strings != 0) sim::ReportMisuse(std::to_string(strings) + " interned strings were never released");
    for (const sim::Heap* heap : {&sim::HostHeap(), &sim::HostAllocator()})
        if (heap->LiveBlocks() != 0)
            sim::ReportMisuse(std::to_string(heap->LiveBlocks()) + " blocks of " + heap->Name() + " were never freed");
    std::printf("log: %s\n", loader.LogPath().c_str());

    const std::vector<std::string> misuses = sim::TakeMisuses();
    for (const std::string& misuse : misuses) std::printf("misuse: %s\n", misuse.c_str());
    if (!misuses.empty()) {
        std::printf("the stand-in game caught %u misuse%s\n", static_cast<unsigned>(misuses.size()),
                    misuses.size() == 1 ? "" : "s");
        return 3;
    }
    return 0;
}

// How a session ended, and whether the game had begun (a session refused for its options
// or its scenario leaves nothing behind).
struct SessionEnd {
    int exit;
    bool begun;
};

SessionEnd Run(int argc, char** argv) {
    Options options;
    if (const int exit = ParseOptions(argc, argv, options)) return {exit < 0 ? 0 : exit, false};
    sim::Scenario scenario;
    try {
        if (!options.scenario.empty()) scenario = sim::LoadScenario(options.scenario);
    } catch (const sim::ScenarioError& error) {
        std::fprintf(stderr, "simgame: %s\n", error.what());
        return {2, false};
    }
    return {PlaySession(options, scenario), true};
}

// Sessions one after another in this process, each from a new game (see the usage): a
// test that plays hundreds pays for one program start instead of hundreds.
int Serve() {
    // One stream, in the order written: a session's error messages come before its exit
    // line however far the program's two streams are carried apart.
    std::fflush(stderr);
    _dup2(_fileno(stdout), _fileno(stderr));
    for (;;) {
        std::printf("simgame: ready\n");
        std::fflush(stdout);
        std::string line;
        if (!std::getline(std::cin, line)) return 0;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> words{"simgame.exe"};
        std::istringstream fields(line);
        for (std::string word; std::getline(fields, word, '\t');)
            if (!word.empty()) words.push_back(word);
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        sim::ResetGame();
        const SessionEnd end = Run(static_cast<int>(argv.size()), argv.data());
        std::printf("simgame: exit code %d\n", end.exit);
        std::fflush(stdout);
        // What a failed session left in the game cannot be trusted by the next.
        if (end.exit != 0 && end.begun) return end.exit;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--serve") == 0) return Serve();
    const int exit = Run(argc, argv).exit;
    // The last line says the game ran to its end: a crash or a hang never prints it.
    std::printf("simgame: exit code %d\n", exit);
    std::fflush(stdout);
    return exit;
}

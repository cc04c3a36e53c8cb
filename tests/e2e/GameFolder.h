#pragma once
// A private copy of the built game folder for one end-to-end test, and the plugin log
// the game's documents folder holds.

#include <string>

#include "support/Process.h"

namespace test {

// The build's game folder, relative to the build directory the tests run in.
inline constexpr char kBuiltGame[] = "game";
// The DLL as the release zip ships it (stripped).
inline constexpr char kShippedPlugin[] = "package\\Veldrin.dll";

struct GameFolder {
    std::string folder;
    std::string pluginFolder;  // Data\SKSE\Plugins
};

// simgame.exe and the built Veldrin.dll (saved as `pluginFile`) in a fresh folder.
GameFolder MakeGameFolder(const std::string& name, const std::string& pluginFile = "Veldrin.dll");
// Runs simgame.exe there; a run that hangs or ends without its last line is a failure.
ProcessResult RunGame(const GameFolder& game, const std::string& arguments = "",
                      unsigned long timeoutMilliseconds = kProcessTimeoutMilliseconds);
// Puts the marker movie where the game loads it from: the built one when there is one.
void AddMarkerMovie(const GameFolder& game);

std::string LogFolder();                             // <documents>\My Games\Skyrim\SKSE
std::string LogPath(const std::string& moduleStem);  // ...\<stem>.log

}  // namespace test

#include "e2e/GameFolder.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "support/TempFiles.h"

namespace test {

GameFolder MakeGameFolder(const std::string& name, const std::string& pluginFile) {
    GameFolder game;
    game.folder = MakeTempFolder("game-" + name);
    game.pluginFolder = game.folder + "\\Data\\SKSE\\Plugins";
    MakeFolders(game.pluginFolder);
    CopyFileTo(std::string(kBuiltGame) + "\\simgame.exe", game.folder + "\\simgame.exe");
    CopyFileTo(std::string(kBuiltGame) + "\\Data\\SKSE\\Plugins\\Veldrin.dll", game.pluginFolder + "\\" + pluginFile);
    return game;
}

void AddMarkerMovie(const GameFolder& game) {
    const std::string folder = game.folder + "\\Data\\Interface";
    MakeFolders(folder);
    const std::string built = std::string(kBuiltGame) + "\\Data\\Interface\\TarvekMenu.swf";
    if (FileExists(built))
        CopyFileTo(built, folder + "\\TarvekMenu.swf");
    else
        WriteFile(folder + "\\TarvekMenu.swf", "the stand-in game only needs the file to exist");
}

ProcessResult RunGame(const GameFolder& game, const std::string& arguments, unsigned long timeoutMilliseconds) {
    ProcessResult run = RunProcess("\"" + game.folder + "\\simgame.exe\" " + arguments, timeoutMilliseconds);
    // simgame.exe's last line says it ran to its end; a crash or a hang never prints it.
    const std::string last = "simgame: exit code " + std::to_string(static_cast<long>(run.exitCode)) + "\n";
    const bool finished = run.output.size() >= last.size() && run.output.ends_with(last);
    if (run.timedOut)
        ADD_FAILURE() << "simgame.exe " << arguments << " hung and was ended:\n" << run.output;
    else if (!finished)
        ADD_FAILURE() << "simgame.exe " << arguments << " did not run to its end (crashed?), exit code " << run.exitCode
                      << ":\n"
                      << run.output;
    return run;
}

std::string LogFolder() {
    char documents[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents);
    return std::string(documents) + "\\My Games\\Skyrim\\SKSE";
}

std::string LogPath(const std::string& moduleStem) { return LogFolder() + "\\" + moduleStem + ".log"; }

}  // namespace test

#pragma once
// What the stand-in game catches the plugin doing that the real game would punish: a
// reference dropped below zero, a block freed twice, a sink left registered in freed
// memory, a movie call the movie cannot take, a page of game code left writable. Each is
// kept here: simgame.exe prints them and exits non-zero, and the unit tests fail on them.

#include <cstddef>
#include <string>
#include <vector>

namespace sim {

void ReportMisuse(const std::string& what);
std::size_t MisuseCount();
// The reports so far, in order; they are forgotten.
std::vector<std::string> TakeMisuses();

}  // namespace sim

#pragma once
// The per-frame update against its floor and against the game's own entries.

#include <string>

namespace bench {

void RegisterTrackingBenchmarks();

// Runs one frame of the plugin and the floor in every scene and compares their results
// bit for bit; empty when they agree, else what differs.
std::string CheckFloorMatchesUpdate();

}  // namespace bench

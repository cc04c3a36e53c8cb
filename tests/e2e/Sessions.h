#pragma once
// A scenario played by simgame.exe with the built plugin, and its record read back by the
// record's column names.

#include <string>
#include <vector>

#include "e2e/GameFolder.h"

namespace test {

struct Row {
    int frame;
    double heading;
    double pitch;
    std::string target;
    bool markerShown;
    double markerX, markerY, markerDistance;
    std::string movieCalls;
    int sounds;
    bool movieVisible;
    bool playerInput;
    std::string gameTarget;
    std::string branchA, branchB;
    int displays;
    std::string messages;
};

// Reads the record by its column names, as any reader of it should: columns may be added.
std::vector<Row> ReadRecord(const std::string& path);

struct Session {
    ProcessResult run;
    std::vector<Row> rows;
};

// Plays `scenario` in a fresh copy of the game folder, with the marker movie in place.
Session Play(const std::string& name, const std::string& scenario, const std::string& options = "",
             unsigned long timeoutMilliseconds = kProcessTimeoutMilliseconds);

bool Contains(const std::string& text, const std::string& part);

}  // namespace test

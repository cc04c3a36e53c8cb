#pragma once
// Scenarios: a readable script of a play session for the stand-in game, and the record of
// what the plugin did on every frame.
//
//   # comments and blank lines are ignored; angles are in degrees
//   player at 0 0 0 heading 0 pitch 0
//   camera third                  # first | third
//   fov 65
//   screen 1920 1080
//   gamepad on                    # on | off
//   actor bandit at 40 600 0 skeleton actors\character\defaultmale.hkx female friendly essential
//   close Loading Menu            # host menus open and close by name
//   frames 10                     # run frames, recording each
//   press keyboard 46             # first frame of a key press (keyboard | mouse | gamepad)
//   hold keyboard 46              # the same key, still held
//   release keyboard 46
//   stick 0.5 -1                  # right thumbstick
//   move bandit to 0 800 0
//   kill bandit

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

class World;

struct ScenarioError : std::runtime_error {
    ScenarioError(const std::string& file, int line, const std::string& message);
};

struct ScenarioCommand {
    int line = 0;
    std::string verb;
    std::vector<std::string> words;  // after the verb
};

struct Scenario {
    std::string file;
    std::vector<ScenarioCommand> commands;
};

// Reads a scenario; every command is checked here, so a malformed file fails before anything runs.
Scenario ParseScenario(const std::string& text, const std::string& fileName);
Scenario LoadScenario(const std::string& path);

// One frame as the record shows it.
struct FrameRecord {
    int frame = 0;
    double headingDegrees = 0;
    double pitchDegrees = 0;
    std::string target;  // the locked actor's name, empty when none
    bool markerShown = false;
    double markerX = 0, markerY = 0, markerDistance = 0;
    std::vector<std::string> movieCalls;
    int sounds = 0;
    bool movieVisible = false;  // the marker menu's movie, as the game shows it
    bool playerInput = true;    // the game's own player input handler
};

inline constexpr char kRecordHeader[] =
    "frame,heading_deg,pitch_deg,target,marker_shown,marker_x,marker_y,marker_distance,movie_calls,sounds,"
    "movie_visible,player_input";
std::string RecordLine(const FrameRecord& frame);

struct Point {
    double x = 0, y = 0;
};

// What a picture of the session needs: where everyone was, frame by frame.
struct SessionTrace {
    struct Actor {
        std::string name;
        bool hostile = true;
        bool dead = false;
        std::vector<Point> path;  // one point per frame
    };
    std::string title;
    std::vector<FrameRecord> frames;
    std::vector<Point> player;  // one point per frame
    std::vector<Actor> actors;
};

// Runs a scenario in `world`: records every frame to `record` (CSV, header first), tells
// the story (lock, switch, release, menus) to `story`, and returns the session's trace.
SessionTrace RunScenario(const Scenario& scenario, World& world, std::ostream& record, std::ostream& story);

// A picture of the session: a top-down map of the scene with the player's heading over
// time, and the marker's path on the screen.
bool DrawSession(const SessionTrace& trace, const std::string& pngPath);

}  // namespace sim

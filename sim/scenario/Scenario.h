#pragma once
// Scenarios: a readable script of a play session for the stand-in game, and the record of
// what the plugin did on every frame. The README lists every command; in short:
//
//   # comments and blank lines are ignored; angles are in degrees; wherever a position,
//   # an angle or a stick value stands, nan, inf and -inf are accepted too
//   fault no-movie                # the game's bad answers, from the start (first lines only)
//   player at 0 0 0 heading 0 pitch 0
//   player flags 0x4000           # ActorFlagWord; also: player state WORD, player interaction on|off
//   camera third                  # first | third | at X Y Z | follow | offset H P | tilt P R |
//                                 # root on|off | node on|off
//   fov 65
//   screen 1920 1080
//   gamepad on                    # also: steering on|off, invert-look on|off
//   actor bandit at 40 600 0 skeleton actors\character\defaultmale.hkx female friendly essential
//   set bandit wall               # hostile friendly essential mortal wall unseen visible
//                                 # unloaded loaded dying object
//   close Loading Menu            # host menus open and close by name
//   destroy Tarvek Menu           # the game destroys an open menu without closing it
//   frames 10                     # run frames, recording each
//   press keyboard 46             # first frame of a key press (keyboard | mouse | gamepad)
//   hold keyboard 46              # the same key, still held
//   release keyboard 46
//   stick 0.5 -1                  # right thumbstick
//   move bandit to 0 800 0
//   kill bandit                   # or: kill player
//   delete bandit                 # the handle stops resolving
//   game branch-a on              # the game's own conditions: branch-a, branch-b on|off,
//                                 # target NAME|none

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
    std::vector<std::string> faults;  // from its "fault" lines, for the world it is played in
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
    // The game's own code this frame: the target its object holds after asking the
    // target-update entry, and the side each branch routine took.
    std::string gameTarget;
    bool branchATaken = false;
    bool branchBTaken = false;
    int displays = 0;                   // DisplayMovie calls on the marker menu's movie
    std::vector<std::string> messages;  // UI messages the marker menu answered: "open=0"
};

// Today's columns first, new ones after them, so readers of older records keep working.
inline constexpr char kRecordHeader[] =
    "frame,heading_deg,pitch_deg,target,marker_shown,marker_x,marker_y,marker_distance,movie_calls,sounds,"
    "movie_visible,player_input,game_target,branch_a,branch_b,displays,messages";
std::string RecordLine(const FrameRecord& frame);

struct Point {
    double x = 0, y = 0;
};

struct Point3 {
    float x = 0, y = 0, z = 0;
};

// One frame of the scene as the replay page shows it (the README's "replay" file).
struct FrameScene {
    // The game's camera as the frame began: the view the plugin measured the marker in.
    bool firstPerson = false;
    Point3 camera;
    double headingDegrees = 0, pitchDegrees = 0, rollDegrees = 0;
    double fieldOfView = 0;                           // vertical, degrees
    std::uint32_t screenWidth = 0, screenHeight = 0;  // what the game reports this frame
    Point3 player;
    bool menuOpen = false;  // the marker menu
    struct Call {
        std::string path;  // "_root.widget.SetTargetPos"
        std::vector<double> numbers;
    };
    std::vector<Call> movieCalls;  // in the order the movie received them
    // Each actor in the order of SessionTrace::actors.
    struct Actor {
        Point3 position;
        bool hostile = true, dead = false, dying = false, loaded = true, locked = false;
        enum class Aim : std::uint8_t { kNotAsked, kNode, kFallback } aimFrom = Aim::kNotAsked;
        Point3 aim;  // the point the game last handed the plugin as this actor's aim
    };
    std::vector<Actor> actors;
};

// A moment of the story: "locked", "switched", "released", "marker-shown", "marker-hidden",
// "menu-opened", "menu-closed", or "scene" for what the scenario did before a frame.
struct StoryEvent {
    int frame = 0;
    std::string kind;
    std::string actor;  // the actor it concerns, when one
    std::string text;   // as the story tells it
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
    // The display size the game reported at the last frame (0 when it reports none).
    std::uint32_t screenWidth = 0, screenHeight = 0;
    std::vector<FrameScene> scenes;  // one per frame
    std::vector<StoryEvent> events;
};

// Runs a scenario in `world`: records every frame to `record` (CSV, header first), tells
// the story (lock, switch, release, menus) to `story`, and returns the session's trace.
SessionTrace RunScenario(const Scenario& scenario, World& world, std::ostream& record, std::ostream& story);

// A picture of the session: a top-down map of the scene with the player's heading over
// time, and the marker's path on the screen.
bool DrawSession(const SessionTrace& trace, const std::string& pngPath);

// The session frame by frame for the replay page, as JSON (the README describes it).
void WriteReplay(const SessionTrace& trace, std::ostream& out);
bool WriteReplay(const SessionTrace& trace, const std::string& jsonPath);

}  // namespace sim

#include "sim/scenario/Scenario.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "host/Input.h"
#include "sim/game/Game.h"
#include "sim/game/World.h"

namespace sim {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr int kMaxFramesPerCommand = 100000;
constexpr char kMarkerMenu[] = "Tarvek Menu";

// The marker menu's fields at the offsets the game's menu layout gives them.
struct MarkerMenuLayout {
    std::uint8_t menuAndSinks[40];
    std::uint32_t targetHandle;  // 40
    std::uint32_t pad;
    double markerX;         // 48
    double markerY;         // 56
    double markerDistance;  // 64
    bool markerShown;       // 72
};
static_assert(offsetof(MarkerMenuLayout, targetHandle) == 40);
static_assert(offsetof(MarkerMenuLayout, markerX) == 48);
static_assert(offsetof(MarkerMenuLayout, markerShown) == 72);

[[noreturn]] void Fail(const Scenario& scenario, const ScenarioCommand& command, const std::string& message) {
    throw ScenarioError(scenario.file, command.line, message);
}

bool ParseDouble(const std::string& word, double& out) {
    char* end = nullptr;
    out = std::strtod(word.c_str(), &end);
    return !word.empty() && *end == '\0' && std::isfinite(out);
}

bool ParseCode(const std::string& word, std::uint32_t& out) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(word.c_str(), &end, 0);
    out = static_cast<std::uint32_t>(value);
    return !word.empty() && *end == '\0';
}

class Checker {
public:
    Checker(const Scenario& scenario, const ScenarioCommand& command) : scenario_(scenario), command_(command) {}
    const std::string& Word(std::size_t i) const {
        if (i >= command_.words.size()) Fail(scenario_, command_, "\"" + command_.verb + "\" needs more words");
        return command_.words[i];
    }
    double Number(std::size_t i) const {
        double value = 0;
        if (!ParseDouble(Word(i), value)) Fail(scenario_, command_, "\"" + Word(i) + "\" is not a number");
        return value;
    }
    void Keyword(std::size_t i, const char* expected) const {
        if (Word(i) != expected) Fail(scenario_, command_, std::string("expected \"") + expected + "\", found \"" + Word(i) + "\"");
    }
    void Count(std::size_t count) const {
        if (command_.words.size() != count)
            Fail(scenario_, command_, "\"" + command_.verb + "\" takes " + std::to_string(count) + " words");
    }
    [[noreturn]] void Error(const std::string& message) const { Fail(scenario_, command_, message); }

private:
    const Scenario& scenario_;
    const ScenarioCommand& command_;
};

// The input device a scenario names, or nothing.
std::optional<std::uint32_t> DeviceNamed(const std::string& device) {
    if (device == "keyboard") return host::kDeviceKeyboard;
    if (device == "mouse") return host::kDeviceMouse;
    if (device == "gamepad") return host::kDeviceGamepad;
    return std::nullopt;
}

std::string RestOfLine(const ScenarioCommand& command) {
    std::string text;
    for (const std::string& word : command.words) text += (text.empty() ? "" : " ") + word;
    return text;
}

void Validate(const Scenario& scenario) {
    std::set<std::string> actors;
    for (const ScenarioCommand& command : scenario.commands) {
        const Checker check(scenario, command);
        const std::string& verb = command.verb;
        if (verb == "player") {
            check.Keyword(0, "at");
            for (std::size_t i = 1; i <= 3; ++i) check.Number(i);
            for (std::size_t i = 4; i < command.words.size(); i += 2) {
                if (check.Word(i) != "heading" && check.Word(i) != "pitch") check.Error("unknown player word \"" + check.Word(i) + "\"");
                check.Number(i + 1);
            }
        } else if (verb == "camera") {
            check.Count(1);
            if (check.Word(0) != "first" && check.Word(0) != "third") check.Error("camera is first or third");
        } else if (verb == "fov") {
            check.Count(1);
            if (check.Number(0) <= 0 || check.Number(0) >= 180) check.Error("fov is between 0 and 180 degrees");
        } else if (verb == "screen") {
            check.Count(2);
            if (check.Number(0) < 1 || check.Number(1) < 0) check.Error("screen takes a width and a height in pixels");
        } else if (verb == "gamepad") {
            check.Count(1);
            if (check.Word(0) != "on" && check.Word(0) != "off") check.Error("gamepad is on or off");
        } else if (verb == "actor") {
            const std::string& name = check.Word(0);
            if (name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-") != std::string::npos)
                check.Error("actor names use letters, digits, '_' and '-'");
            if (!actors.insert(name).second) check.Error("actor \"" + name + "\" is declared twice");
            check.Keyword(1, "at");
            for (std::size_t i = 2; i <= 4; ++i) check.Number(i);
            for (std::size_t i = 5; i < command.words.size(); ++i) {
                const std::string& word = command.words[i];
                if (word == "skeleton")
                    check.Word(++i);
                else if (word != "female" && word != "friendly" && word != "essential")
                    check.Error("unknown actor word \"" + word + "\"");
            }
        } else if (verb == "frames") {
            check.Count(1);
            const double frames = check.Number(0);
            if (frames < 1 || frames > kMaxFramesPerCommand || frames != std::floor(frames))
                check.Error("frames takes a whole number from 1 to 100000");
        } else if (verb == "press" || verb == "hold" || verb == "release") {
            check.Count(2);
            if (!DeviceNamed(check.Word(0)))
                check.Error("unknown device \"" + check.Word(0) + "\" (keyboard, mouse or gamepad)");
            std::uint32_t code = 0;
            if (!ParseCode(check.Word(1), code)) check.Error("\"" + check.Word(1) + "\" is not a key code");
        } else if (verb == "stick") {
            check.Count(2);
            check.Number(0);
            check.Number(1);
        } else if (verb == "move" || verb == "kill") {
            if (!actors.count(check.Word(0))) check.Error("no actor named \"" + check.Word(0) + "\" before this line");
            if (verb == "kill") {
                check.Count(1);
            } else {
                check.Count(5);
                check.Keyword(1, "to");
                for (std::size_t i = 2; i <= 4; ++i) check.Number(i);
            }
        } else if (verb == "open" || verb == "close") {
            if (command.words.empty()) check.Error("\"" + verb + "\" needs a menu name");
        } else {
            check.Error("unknown command \"" + verb + "\"");
        }
    }
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string DescribeCall(const MovieCall& call) {
    std::string name = call.path;
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name = name.substr(dot + 1);
    std::string text = name + "(";
    for (std::size_t i = 0; i < call.numbers.size(); ++i) text += (i ? " " : "") + Format("%.2f", call.numbers[i]);
    return text + ")";
}

class Runner {
public:
    Runner(World& world, std::ostream& record, std::ostream& story) : world_(world), record_(record), story_(story) {}

    void Apply(const ScenarioCommand& command) {
        const auto number = [&](std::size_t i) { return std::strtod(command.words[i].c_str(), nullptr); };
        const auto radians = [&](std::size_t i) { return static_cast<float>(number(i) / kDegreesPerRadian); };
        const std::string& verb = command.verb;
        if (verb == "player") {
            SimActor& player = world_.Player();
            player.position = {static_cast<float>(number(1)), static_cast<float>(number(2)), static_cast<float>(number(3))};
            for (std::size_t i = 4; i + 1 < command.words.size(); i += 2)
                (command.words[i] == "heading" ? player.rotation.z : player.rotation.x) = radians(i + 1);
        } else if (verb == "camera") {
            world_.Camera().SetState(command.words[0] == "first" ? host::kCameraStateFirstPerson
                                                                 : host::kCameraStateThirdPerson);
        } else if (verb == "fov") {
            world_.Camera().fieldOfView = static_cast<float>(number(0));
        } else if (verb == "screen") {
            TheGame().screenWidth = static_cast<std::uint32_t>(number(0));
            TheGame().screenHeight = static_cast<std::uint32_t>(number(1));
        } else if (verb == "gamepad") {
            world_.gamepad.enabled = command.words[0] == "on";
        } else if (verb == "actor") {
            AddActor(command);
        } else if (verb == "frames") {
            for (int i = 0; i < static_cast<int>(number(0)); ++i) Frame();
        } else if (verb == "press" || verb == "hold" || verb == "release") {
            std::uint32_t code = 0;
            ParseCode(command.words[1], code);
            InputChain chain;
            chain.Button(*DeviceNamed(command.words[0]), code, verb == "release" ? 0.0f : 1.0f, verb == "press" ? 0.0f : 0.5f);
            world_.SendInput(chain);
        } else if (verb == "stick") {
            InputChain chain;
            chain.Thumbstick(host::kRightThumbstick, static_cast<float>(number(0)), static_cast<float>(number(1)));
            world_.SendInput(chain);
        } else if (verb == "move") {
            SimActor& actor = *actors_.at(command.words[0]);
            const host::NiPoint3 to = {static_cast<float>(number(2)), static_cast<float>(number(3)), static_cast<float>(number(4))};
            MoveTo(actor, to);
        } else if (verb == "kill") {
            world_.Kill(*actors_.at(command.words[0]));
            story_ << "before frame " << frame_ + 1 << ": " << command.words[0] << " dies\n";
        } else if (verb == "open") {
            world_.OpenMenu(RestOfLine(command).c_str());
        } else if (verb == "close") {
            world_.CloseMenu(RestOfLine(command).c_str());
        }
    }

    void Start(const std::string& title) {
        record_ << kRecordHeader << "\n";
        trace_.title = title;
    }
    SessionTrace& Trace() { return trace_; }

private:
    void AddActor(const ScenarioCommand& command) {
        ActorSetup setup;
        setup.position = {static_cast<float>(std::strtod(command.words[2].c_str(), nullptr)),
                          static_cast<float>(std::strtod(command.words[3].c_str(), nullptr)),
                          static_cast<float>(std::strtod(command.words[4].c_str(), nullptr))};
        for (std::size_t i = 5; i < command.words.size(); ++i) {
            const std::string& word = command.words[i];
            if (word == "skeleton") setup.malePath = setup.femalePath = command.words[++i];
            if (word == "female") setup.female = true;
            if (word == "friendly") setup.hostile = false;
            if (word == "essential") setup.essential = true;
        }
        SimActor& actor = world_.AddActor(setup);
        actors_[command.words[0]] = &actor;
        names_[actor.handle] = command.words[0];
        trace_.actors.push_back({command.words[0], setup.hostile, false, {}});
    }

    void MoveTo(SimActor& actor, host::NiPoint3 to) {
        const host::NiPoint3 by = {to.x - actor.position.x, to.y - actor.position.y, to.z - actor.position.z};
        actor.position = to;
        actor.fallbackAim = {actor.fallbackAim.x + by.x, actor.fallbackAim.y + by.y, actor.fallbackAim.z + by.z};
        for (const auto& child : actor.root->children) {
            host::NiPoint3& at = child->worldTranslation;
            at = {at.x + by.x, at.y + by.y, at.z + by.z};
        }
    }

    void Frame() {
        world_.RunFrame();
        FrameRecord frame;
        frame.frame = ++frame_;
        frame.headingDegrees = world_.Player().rotation.z * kDegreesPerRadian;
        frame.pitchDegrees = world_.Player().rotation.x * kDegreesPerRadian;
        const auto* menu = reinterpret_cast<const MarkerMenuLayout*>(world_.OpenInstance(kMarkerMenu));
        if (menu != nullptr) {
            const auto name = names_.find(menu->targetHandle);
            if (name != names_.end()) frame.target = name->second;
            frame.markerShown = menu->markerShown;
            const auto* movie = reinterpret_cast<const SimMovieView*>(world_.OpenInstance(kMarkerMenu)->movieView);
            frame.movieVisible = movie != nullptr && movie->visible;
            frame.markerX = menu->markerX;
            frame.markerY = menu->markerY;
            frame.markerDistance = menu->markerDistance;
        }
        for (; movieCallsSeen_ < world_.movieCalls.size(); ++movieCallsSeen_)
            frame.movieCalls.push_back(DescribeCall(world_.movieCalls[movieCallsSeen_]));
        frame.sounds = static_cast<int>(world_.sounds.size() - soundsSeen_);
        frame.playerInput = world_.inputHandler.enabled != 0;
        soundsSeen_ = world_.sounds.size();
        record_ << RecordLine(frame) << "\n";
        Tell(frame, menu != nullptr);
        trace_.frames.push_back(frame);
        trace_.player.push_back({world_.Player().position.x, world_.Player().position.y});
        for (SessionTrace::Actor& actor : trace_.actors) {
            const SimActor& simActor = *actors_.at(actor.name);
            actor.path.push_back({simActor.position.x, simActor.position.y});
            actor.dead = simActor.dead;
        }
    }

    void Tell(const FrameRecord& frame, bool menuOpen) {
        if (menuOpen != menuOpen_) story_ << "frame " << frame.frame << ": marker menu " << (menuOpen ? "opened" : "closed") << "\n";
        if (frame.target != target_) {
            if (target_.empty())
                story_ << "frame " << frame.frame << ": locked " << frame.target << "\n";
            else if (frame.target.empty())
                story_ << "frame " << frame.frame << ": lock released\n";
            else
                story_ << "frame " << frame.frame << ": switched to " << frame.target << "\n";
        }
        for (const std::string& call : frame.movieCalls) {
            const bool hide = call.rfind("Hide", 0) == 0;
            if (hide)
                story_ << "frame " << frame.frame << ": marker hidden\n";
            else if (!markerVisible_)
                story_ << "frame " << frame.frame << ": marker shown, " << call << "\n";
            markerVisible_ = !hide;
        }
        menuOpen_ = menuOpen;
        target_ = frame.target;
    }

    World& world_;
    std::ostream& record_;
    std::ostream& story_;
    std::map<std::string, SimActor*> actors_;
    std::map<host::ActorHandle, std::string> names_;
    int frame_ = 0;
    std::size_t movieCallsSeen_ = 0;
    std::size_t soundsSeen_ = 0;
    bool menuOpen_ = false;
    bool markerVisible_ = false;
    std::string target_;
    SessionTrace trace_;
};

}  // namespace

ScenarioError::ScenarioError(const std::string& file, int line, const std::string& message)
    : std::runtime_error(file + ":" + std::to_string(line) + ": " + message) {}

Scenario ParseScenario(const std::string& text, const std::string& fileName) {
    Scenario scenario;
    scenario.file = fileName;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::istringstream words(line);
        ScenarioCommand command;
        command.line = number;
        if (!(words >> command.verb)) continue;
        for (std::string word; words >> word;) command.words.push_back(word);
        scenario.commands.push_back(std::move(command));
    }
    Validate(scenario);
    return scenario;
}

Scenario LoadScenario(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScenarioError(path, 0, "cannot open the scenario");
    std::ostringstream text;
    text << in.rdbuf();
    return ParseScenario(text.str(), path);
}

std::string RecordLine(const FrameRecord& frame) {
    std::string calls;
    for (const std::string& call : frame.movieCalls) calls += (calls.empty() ? "" : " | ") + call;
    return std::to_string(frame.frame) + "," + Format("%.4f", frame.headingDegrees) + "," +
           Format("%.4f", frame.pitchDegrees) + "," + frame.target + "," + (frame.markerShown ? "1" : "0") + "," +
           Format("%.4f", frame.markerX) + "," + Format("%.4f", frame.markerY) + "," +
           Format("%.4f", frame.markerDistance) + "," + calls + "," + std::to_string(frame.sounds) + "," +
           (frame.movieVisible ? "1" : "0") + "," + (frame.playerInput ? "1" : "0");
}

SessionTrace RunScenario(const Scenario& scenario, World& world, std::ostream& record, std::ostream& story) {
    Runner runner(world, record, story);
    const std::size_t slash = scenario.file.find_last_of("\\/");
    runner.Start(slash == std::string::npos ? scenario.file : scenario.file.substr(slash + 1));
    for (const ScenarioCommand& command : scenario.commands) runner.Apply(command);
    return std::move(runner.Trace());
}

}  // namespace sim

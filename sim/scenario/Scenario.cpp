#include "sim/scenario/Scenario.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "host/Input.h"
#include "sim/game/Faults.h"
#include "sim/game/Game.h"
#include "sim/game/World.h"

namespace sim {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr int kMaxFramesPerCommand = 100000;
constexpr char kMarkerMenu[] = "Tarvek Menu";
constexpr char kPlayerName[] = "player";
constexpr float kHeldDuration = 0.5f;
constexpr std::uint8_t kNonActorFormType = 40;  // a reference the game can hand out that is not an actor

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

const char* MessageName(std::uint32_t type) {
    switch (type) {
        case 1: return "open";
        case 3: return "close";
        default: return "message";
    }
}

class Runner;

// One command being read: its words, checked as they are taken. The same handler checks a
// command when the file is read and plays it when the scenario runs (then `runner` is set).
class Step {
public:
    Step(const Scenario& scenario, const ScenarioCommand& command, std::set<std::string>& declared, Runner* runner)
        : scenario_(scenario), command_(command), declared_(declared), runner_(runner) {}

    Runner* runner() const { return runner_; }
    std::size_t Size() const { return command_.words.size(); }
    const std::string& Verb() const { return command_.verb; }
    std::set<std::string>& Declared() const { return declared_; }

    [[noreturn]] void Error(const std::string& message) const {
        throw ScenarioError(scenario_.file, command_.line, message);
    }
    const std::string& Word(std::size_t i) const {
        if (i >= command_.words.size()) Error("\"" + command_.verb + "\" needs more words");
        return command_.words[i];
    }
    void Count(std::size_t count) const {
        if (command_.words.size() != count)
            Error("\"" + command_.verb + "\" takes " + std::to_string(count) + " words");
    }
    void Keyword(std::size_t i, const char* expected) const {
        if (Word(i) != expected) Error(std::string("expected \"") + expected + "\", found \"" + Word(i) + "\"");
    }
    bool OnOff(std::size_t i) const {
        if (Word(i) != "on" && Word(i) != "off") Error("\"" + command_.verb + "\" takes on or off");
        return Word(i) == "on";
    }
    // A 32-bit float: nan, inf and -inf are words a scenario may use; a number too large
    // for a float is refused rather than silently made infinite.
    float Float(std::size_t i) const {
        const std::string& word = Word(i);
        if (word == "nan") return NAN;
        if (word == "inf") return INFINITY;
        if (word == "-inf") return -INFINITY;
        errno = 0;
        char* end = nullptr;
        const double value = std::strtod(word.c_str(), &end);
        if (word.empty() || *end != '\0' || !std::isfinite(value)) Error("\"" + word + "\" is not a number");
        if ((errno == ERANGE && std::fabs(value) > 1) || std::fabs(value) > FLT_MAX)
            Error("\"" + word + "\" overflows a 32-bit float");
        return static_cast<float>(value);
    }
    float Radians(std::size_t i) const { return static_cast<float>(Float(i) / kDegreesPerRadian); }
    // A 32-bit unsigned number, decimal or 0x-hexadecimal, without a sign.
    std::uint32_t Unsigned(std::size_t i, const char* what) const {
        const std::string& word = Word(i);
        const std::optional<std::uint32_t> value = ReadUnsigned(word);
        if (!value) Error("\"" + word + "\" is " + (IsWholeNumber(word) ? "out of range for " : "not ") + what);
        return *value;
    }
    static std::optional<std::uint32_t> ReadUnsigned(const std::string& word) {
        errno = 0;
        char* end = nullptr;
        const unsigned long long value = std::strtoull(word.c_str(), &end, 0);
        if (word.empty() || *end != '\0' || word[0] == '-' || word[0] == '+' || errno == ERANGE || value > UINT32_MAX)
            return std::nullopt;
        return static_cast<std::uint32_t>(value);
    }
    // Digits only (or 0x and hexadecimal digits), whatever their value.
    static bool IsWholeNumber(const std::string& word) {
        const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
        return !word.empty() &&
               word.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789", hex ? 2 : 0) == std::string::npos;
    }
    // An actor declared on an earlier line (or, where `player` is allowed, the player).
    const std::string& Actor(std::size_t i, bool player = false) const {
        const std::string& name = Word(i);
        if (!declared_.count(name) && !(player && name == kPlayerName))
            Error("no actor named \"" + name + "\" before this line");
        return name;
    }

private:
    const Scenario& scenario_;
    const ScenarioCommand& command_;
    std::set<std::string>& declared_;
    Runner* runner_;
};

// The input device a scenario names, or nothing.
std::optional<std::uint32_t> DeviceNamed(const std::string& device) {
    if (device == "keyboard") return host::kDeviceKeyboard;
    if (device == "mouse") return host::kDeviceMouse;
    if (device == "gamepad") return host::kDeviceGamepad;
    return std::nullopt;
}

class Runner {
public:
    Runner(World& world, std::ostream& record, std::ostream& story) : world_(world), record_(record), story_(story) {}

    void Start(const std::string& title) {
        record_ << kRecordHeader << "\n";
        trace_.title = title;
    }
    SessionTrace& Trace() { return trace_; }
    World& world() { return world_; }
    SimActor& Actor(const std::string& name) { return name == kPlayerName ? world_.Player() : *actors_.at(name); }
    void Tell(const std::string& what, const std::string& actor = {}) {
        story_ << "before frame " << frame_ + 1 << ": " << what << "\n";
        trace_.events.push_back({frame_ + 1, "scene", actor, what});
    }

    void AddActor(const std::string& name, const ActorSetup& setup, bool unreferenced) {
        SimActor& actor = world_.AddActor(setup);
        if (unreferenced) {  // nobody but whoever looks it up holds it
            actor.referenceWord &= ~host::kReferenceCountMask;
            actor.ownReferences = 0;
        }
        actors_[name] = &actor;
        names_[actor.handle] = name;
        trace_.actors.push_back({name, setup.hostile, false, {}});
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
        host::IMenu* marker = world_.OpenInstance(kMarkerMenu);
        const auto* menu = reinterpret_cast<const MarkerMenuLayout*>(marker);
        const SimMovieView* movie = marker ? world_.FindMovie(marker->movieView) : nullptr;
        if (menu != nullptr) {
            frame.target = NameOf(menu->targetHandle);
            frame.markerShown = menu->markerShown;
            frame.movieVisible = movie != nullptr && movie->visible;
            frame.markerX = menu->markerX;
            frame.markerY = menu->markerY;
            frame.markerDistance = menu->markerDistance;
        }
        FrameScene scene = SceneOf(menu != nullptr ? menu->targetHandle : TheGame().emptyHandle);
        scene.menuOpen = menu != nullptr;
        for (; movieCallsSeen_ < world_.session.movieCalls.size(); ++movieCallsSeen_) {
            const MovieCall& call = world_.session.movieCalls[movieCallsSeen_];
            frame.movieCalls.push_back(DescribeCall(call));
            scene.movieCalls.push_back({call.path, call.numbers});
        }
        frame.sounds = static_cast<int>(world_.session.sounds.size() - soundsSeen_);
        frame.playerInput = world_.inputHandler.enabled != 0;
        soundsSeen_ = world_.session.sounds.size();
        frame.gameTarget = NameOf(world_.conditions.gameTarget.targetHandle);
        frame.branchATaken = world_.session.branchA == BranchPath::kTaken;
        frame.branchBTaken = world_.session.branchB == BranchPath::kTaken;
        const int displays = movie ? movie->displays : 0;
        frame.displays = movie == lastMovie_ ? displays - displaysSeen_ : displays;
        lastMovie_ = movie;
        displaysSeen_ = displays;
        for (; messagesSeen_ < world_.session.messages.size(); ++messagesSeen_) {
            const DeliveredMessage& message = world_.session.messages[messagesSeen_];
            if (message.menu == kMarkerMenu)
                frame.messages.push_back(std::string(MessageName(message.type)) + "=" + std::to_string(message.result));
        }
        record_ << RecordLine(frame) << "\n";
        TellFrame(frame, menu != nullptr);
        trace_.frames.push_back(frame);
        trace_.scenes.push_back(std::move(scene));
        trace_.screenWidth = TheGame().screenWidth;
        trace_.screenHeight = TheGame().screenHeight;
        trace_.player.push_back({world_.Player().position.x, world_.Player().position.y});
        for (SessionTrace::Actor& actor : trace_.actors) {
            const SimActor& simActor = *actors_.at(actor.name);
            actor.path.push_back({simActor.position.x, simActor.position.y});
            actor.dead = simActor.dead;
        }
    }

private:
    static Point3 PointOf(const host::NiPoint3& at) { return {at.x, at.y, at.z}; }

    // The scene as the frame's per-frame call found it, and everyone's state after the frame.
    FrameScene SceneOf(host::ActorHandle locked) {
        const CameraView& view = world_.frameView;
        FrameScene scene;
        scene.firstPerson = view.firstPerson;
        scene.camera = PointOf(view.position);
        scene.headingDegrees = view.heading * kDegreesPerRadian;
        scene.pitchDegrees = view.pitch * kDegreesPerRadian;
        scene.rollDegrees = view.roll * kDegreesPerRadian;
        scene.fieldOfView = view.fieldOfView;
        scene.screenWidth = TheGame().screenWidth;
        scene.screenHeight = TheGame().screenHeight;
        scene.player = PointOf(world_.Player().position);
        for (const SessionTrace::Actor& traced : trace_.actors) {
            const SimActor& actor = *actors_.at(traced.name);
            FrameScene::Actor seen;
            seen.position = PointOf(actor.position);
            seen.hostile = actor.hostile;
            seen.dead = actor.dead;
            seen.dying = actor.dying;
            seen.loaded = actor.loaded && world_.Resolve(actor.handle) != nullptr;
            seen.locked = actor.handle == locked;
            if (const host::NiPoint3* aim = actor.aimGiven.load(std::memory_order_relaxed)) {
                seen.aimFrom =
                    aim == &actor.fallbackAim ? FrameScene::Actor::Aim::kFallback : FrameScene::Actor::Aim::kNode;
                seen.aim = PointOf(*aim);
            }
            scene.actors.push_back(seen);
        }
        return scene;
    }

    void Event(int frame, const char* kind, const std::string& actor, const std::string& text) {
        story_ << "frame " << frame << ": " << text << "\n";
        trace_.events.push_back({frame, kind, actor, text});
    }

    std::string NameOf(host::ActorHandle handle) const {
        const auto name = names_.find(handle);
        return name == names_.end() ? std::string() : name->second;
    }

    void TellFrame(const FrameRecord& frame, bool menuOpen) {
        if (menuOpen != menuOpen_)
            Event(frame.frame, menuOpen ? "menu-opened" : "menu-closed", {},
                  std::string("marker menu ") + (menuOpen ? "opened" : "closed"));
        if (frame.target != target_) {
            if (target_.empty())
                Event(frame.frame, "locked", frame.target, "locked " + frame.target);
            else if (frame.target.empty())
                Event(frame.frame, "released", target_, "lock released");
            else
                Event(frame.frame, "switched", frame.target, "switched to " + frame.target);
        }
        for (const std::string& call : frame.movieCalls) {
            const bool hide = call.rfind("Hide", 0) == 0;
            if (hide)
                Event(frame.frame, "marker-hidden", {}, "marker hidden");
            else if (!markerVisible_)
                Event(frame.frame, "marker-shown", frame.target, "marker shown, " + call);
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
    std::size_t messagesSeen_ = 0;
    const SimMovieView* lastMovie_ = nullptr;
    int displaysSeen_ = 0;
    bool menuOpen_ = false;
    bool markerVisible_ = false;
    std::string target_;
    SessionTrace trace_;
};

std::string RestOfLine(const Step& step) {
    std::string text;
    for (std::size_t i = 0; i < step.Size(); ++i) text += (text.empty() ? "" : " ") + step.Word(i);
    return text;
}

host::NiPoint3 PointAt(const Step& step, std::size_t first) {
    return {step.Float(first), step.Float(first + 1), step.Float(first + 2)};
}

// --- One handler per command: it checks every word, then plays the command when it runs.

void PlayerCommand(Step& step) {
    const std::string& what = step.Word(0);
    if (what == "at") {
        const host::NiPoint3 at = PointAt(step, 1);
        float heading = NAN, pitch = NAN;
        bool hasHeading = false, hasPitch = false;
        for (std::size_t i = 4; i < step.Size(); i += 2) {
            if (step.Word(i) == "heading")
                heading = step.Radians(i + 1), hasHeading = true;
            else if (step.Word(i) == "pitch")
                pitch = step.Radians(i + 1), hasPitch = true;
            else
                step.Error("unknown player word \"" + step.Word(i) + "\"");
        }
        if (!step.runner()) return;
        SimActor& player = step.runner()->world().Player();
        player.position = at;
        if (hasHeading) player.rotation.z = heading;
        if (hasPitch) player.rotation.x = pitch;
    } else if (what == "flags" || what == "state") {
        step.Count(2);
        const std::uint32_t word = step.Unsigned(1, "a 32-bit word");
        if (!step.runner()) return;
        SimActor& player = step.runner()->world().Player();
        (what == "flags" ? player.flagWord : player.stateWord) = word;
    } else if (what == "interaction") {
        step.Count(2);
        const bool on = step.OnOff(1);
        if (!step.runner()) return;
        // The extra data the game's interaction test looks for: the flag and its presence bit.
        SimActor& player = step.runner()->world().Player();
        const std::uint8_t bit = 1u << (host::kExtraInteractionType % 8);
        std::uint8_t& bits = player.extra.bits[host::kExtraInteractionType / 8];
        player.flagWord = on ? player.flagWord | host::kActorFlagHasExtraInteraction
                             : player.flagWord & ~host::kActorFlagHasExtraInteraction;
        bits = on ? bits | bit : bits & ~bit;
    } else {
        step.Error("player takes at, flags, state or interaction");
    }
}

void CameraCommand(Step& step) {
    const std::string& what = step.Word(0);
    World* world = step.runner() ? &step.runner()->world() : nullptr;
    if (what == "first" || what == "third") {
        step.Count(1);
        if (world)
            world->Camera().SetState(what == "first" ? host::kCameraStateFirstPerson : host::kCameraStateThirdPerson);
    } else if (what == "at") {
        step.Count(4);
        const host::NiPoint3 at = PointAt(step, 1);
        if (!world) return;
        world->conditions.cameraPinned = true;
        world->Camera().rootNode->worldTranslation = at;
        world->Camera().ThirdPerson().cameraPosition = at;
    } else if (what == "follow") {
        step.Count(1);
        if (world) world->conditions.cameraPinned = false;
    } else if (what == "offset" || what == "tilt") {
        step.Count(3);
        const float first = step.Radians(1), second = step.Radians(2);
        if (!world) return;
        if (what == "offset") {
            world->Camera().ThirdPerson().headingOffset = first;
            world->Camera().ThirdPerson().pitchOffset = second;
        } else {
            world->conditions.firstPersonPitch = first;
            world->conditions.firstPersonRoll = second;
        }
    } else if (what == "root" || what == "node") {
        step.Count(2);
        const bool on = step.OnOff(1);
        if (!world) return;
        if (what == "root")
            world->Camera().UseRootNode(on);
        else
            world->Camera().UseFirstPersonNode(on);
    } else {
        step.Error("camera is first, third, at X Y Z, follow, offset H P, tilt P R, root on|off or node on|off");
    }
}

void FovCommand(Step& step) {
    step.Count(1);
    const float fov = step.Float(0);
    if (step.runner()) step.runner()->world().Camera().fieldOfView = fov;
}

void ScreenCommand(Step& step) {
    step.Count(2);
    const std::uint32_t width = step.Unsigned(0, "a width in pixels"), height = step.Unsigned(1, "a height in pixels");
    if (!step.runner()) return;
    TheGame().screenWidth = width;
    TheGame().screenHeight = height;
}

// gamepad, steering and invert-look: a switch of the game's.
void SwitchCommand(Step& step) {
    step.Count(1);
    const bool on = step.OnOff(0);
    if (!step.runner()) return;
    if (step.Verb() == "gamepad")
        step.runner()->world().conditions.gamepad.enabled = on;
    else if (step.Verb() == "steering")
        TheGame().steeringGate = on ? 1 : 0;
    else
        TheGame().invertLookY = on ? 1 : 0;
}

void ActorCommand(Step& step) {
    const std::string& name = step.Word(0);
    if (name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-") != std::string::npos)
        step.Error("actor names use letters, digits, '_' and '-'");
    if (name == kPlayerName) step.Error("\"player\" is the player's name");
    if (!step.Declared().insert(name).second && !step.runner()) step.Error("actor \"" + name + "\" is declared twice");
    step.Keyword(1, "at");
    ActorSetup setup;
    setup.position = PointAt(step, 2);
    bool unreferenced = false, wall = false, unseen = false;
    for (std::size_t i = 5; i < step.Size(); ++i) {
        const std::string& word = step.Word(i);
        if (word == "skeleton")
            setup.malePath = setup.femalePath = step.Word(++i);
        else if (word == "female")
            setup.female = true;
        else if (word == "friendly")
            setup.hostile = false;
        else if (word == "essential")
            setup.essential = true;
        else if (word == "unreferenced")
            unreferenced = true;
        else if (word == "wall")
            wall = true;
        else if (word == "unseen")
            unseen = true;
        else
            step.Error("unknown actor word \"" + word + "\"");
    }
    if (!step.runner()) return;
    step.runner()->AddActor(name, setup, unreferenced);
    SimActor& actor = step.runner()->Actor(name);
    actor.wall = wall;
    actor.lineOfSight = !unseen;
}

// Changes an actor's state between frames, as the game changes it.
void SetCommand(Step& step) {
    const std::string& name = step.Actor(0);
    if (step.Size() < 2) step.Error("\"set\" needs a state");
    static const std::set<std::string> kStates = {"hostile", "friendly", "essential", "mortal", "wall",  "unseen",
                                                  "visible", "unloaded", "loaded",    "dying",  "object"};
    for (std::size_t i = 1; i < step.Size(); ++i)
        if (!kStates.count(step.Word(i))) step.Error("unknown actor state \"" + step.Word(i) + "\"");
    if (!step.runner()) return;
    SimActor& actor = step.runner()->Actor(name);
    for (std::size_t i = 1; i < step.Size(); ++i) {
        const std::string& state = step.Word(i);
        if (state == "hostile" || state == "friendly") actor.hostile = state == "hostile";
        if (state == "essential") actor.flagWord |= host::kActorFlagEssential;
        if (state == "mortal") actor.flagWord &= ~host::kActorFlagEssential;
        if (state == "wall") actor.wall = true;
        if (state == "unseen") actor.wall = false, actor.lineOfSight = false;
        if (state == "visible") actor.wall = false, actor.lineOfSight = true;
        if (state == "unloaded" || state == "loaded") actor.loaded = state == "loaded";
        if (state == "dying") actor.dying = true;
        if (state == "object") actor.formType = kNonActorFormType;  // its handle now resolves to a non-actor
    }
    step.runner()->Tell(name + " is " + RestOfLine(step).substr(name.size() + 1), name);
}

void FramesCommand(Step& step) {
    step.Count(1);
    const std::optional<std::uint32_t> read = Step::ReadUnsigned(step.Word(0));
    const std::uint32_t frames = read.value_or(0);
    if (frames < 1 || frames > kMaxFramesPerCommand) step.Error("frames takes a whole number from 1 to 100000");
    if (step.runner())
        for (std::uint32_t i = 0; i < frames; ++i) step.runner()->Frame();
}

void KeyCommand(Step& step) {
    step.Count(2);
    const auto device = DeviceNamed(step.Word(0));
    if (!device) step.Error("unknown device \"" + step.Word(0) + "\" (keyboard, mouse or gamepad)");
    const std::uint32_t code = step.Unsigned(1, "a key code");
    if (!step.runner()) return;
    InputChain chain;
    const bool released = step.Verb() == "release", pressed = step.Verb() == "press";
    chain.Button(*device, code, released ? 0.0f : 1.0f, pressed ? 0.0f : kHeldDuration);
    step.runner()->world().SendInput(chain);
}

void StickCommand(Step& step) {
    step.Count(2);
    const float x = step.Float(0), y = step.Float(1);
    if (!step.runner()) return;
    InputChain chain;
    chain.Thumbstick(host::kRightThumbstick, x, y);
    step.runner()->world().SendInput(chain);
}

void MoveCommand(Step& step) {
    step.Count(5);
    const std::string& name = step.Actor(0);
    step.Keyword(1, "to");
    const host::NiPoint3 to = PointAt(step, 2);
    if (step.runner()) step.runner()->MoveTo(step.runner()->Actor(name), to);
}

void KillCommand(Step& step) {
    step.Count(1);
    const std::string& name = step.Actor(0, true);
    if (!step.runner()) return;
    step.runner()->world().Kill(step.runner()->Actor(name));
    step.runner()->Tell(name + " dies", name);
}

void DeleteCommand(Step& step) {
    step.Count(1);
    const std::string& name = step.Actor(0);
    if (!step.runner()) return;
    step.runner()->world().Unload(step.runner()->Actor(name));
    step.runner()->Tell(name + " is deleted", name);
}

void MenuCommand(Step& step) {
    if (step.Size() == 0) step.Error("\"" + step.Verb() + "\" needs a menu name");
    if (!step.runner()) return;
    World& world = step.runner()->world();
    const std::string name = RestOfLine(step);
    if (step.Verb() == "open")
        world.OpenMenu(name.c_str());
    else if (step.Verb() == "close")
        world.CloseMenu(name.c_str());
    else {
        world.DestroyMenu(name.c_str());
        step.runner()->Tell("the game destroys " + name + " without closing it");
    }
}

// The game's own side of the patched code: what its branches and its target choice would do.
void GameCommand(Step& step) {
    step.Count(2);
    const std::string& what = step.Word(0);
    if (what == "branch-a" || what == "branch-b") {
        const bool on = step.OnOff(1);
        if (!step.runner()) return;
        World& world = step.runner()->world();
        if (what == "branch-a")
            world.conditions.branchObject.flags = on ? host::kBranchAFlag : 0;
        else
            world.conditions.branchBDiffers = on;
    } else if (what == "target") {
        if (step.Word(1) != "none") step.Actor(1);
        if (!step.runner()) return;
        World& world = step.runner()->world();
        world.code.ownTarget =
            step.Word(1) == "none" ? TheGame().emptyHandle : step.runner()->Actor(step.Word(1)).handle;
    } else {
        step.Error("game takes branch-a on|off, branch-b on|off or target NAME|none");
    }
}

void FaultCommand(Step& step) {
    step.Count(1);
    FaultSwitches ignored;
    if (!SwitchOnFault(step.Word(0), ignored)) step.Error("unknown fault \"" + step.Word(0) + "\"");
}

struct Command {
    const char* verb;
    void (*handler)(Step&);
};

constexpr Command kCommands[] = {
    {"player", PlayerCommand},      {"camera", CameraCommand},  {"fov", FovCommand},
    {"screen", ScreenCommand},      {"gamepad", SwitchCommand}, {"steering", SwitchCommand},
    {"invert-look", SwitchCommand}, {"actor", ActorCommand},    {"set", SetCommand},
    {"frames", FramesCommand},      {"press", KeyCommand},      {"hold", KeyCommand},
    {"release", KeyCommand},        {"stick", StickCommand},    {"move", MoveCommand},
    {"kill", KillCommand},          {"delete", DeleteCommand},  {"open", MenuCommand},
    {"close", MenuCommand},         {"destroy", MenuCommand},   {"game", GameCommand},
    {"fault", FaultCommand},
};

void Run(const Scenario& scenario, const ScenarioCommand& command, std::set<std::string>& declared, Runner* runner) {
    Step step(scenario, command, declared, runner);
    for (const Command& entry : kCommands)
        if (command.verb == entry.verb) return entry.handler(step);
    step.Error("unknown command \"" + command.verb + "\"");
}

void Validate(Scenario& scenario) {
    std::set<std::string> declared;
    bool pastFaults = false;
    for (const ScenarioCommand& command : scenario.commands) {
        Run(scenario, command, declared, nullptr);
        if (command.verb != "fault") {
            pastFaults = true;
        } else if (pastFaults) {
            throw ScenarioError(scenario.file, command.line, "fault lines come first: they hold from the start");
        } else {
            scenario.faults.push_back(command.words[0]);
        }
    }
}

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
    const auto joined = [](const std::vector<std::string>& items) {
        std::string text;
        for (const std::string& item : items) text += (text.empty() ? "" : " | ") + item;
        return text;
    };
    return std::to_string(frame.frame) + "," + Format("%.4f", frame.headingDegrees) + "," +
           Format("%.4f", frame.pitchDegrees) + "," + frame.target + "," + (frame.markerShown ? "1" : "0") + "," +
           Format("%.4f", frame.markerX) + "," + Format("%.4f", frame.markerY) + "," +
           Format("%.4f", frame.markerDistance) + "," + joined(frame.movieCalls) + "," + std::to_string(frame.sounds) +
           "," + (frame.movieVisible ? "1" : "0") + "," + (frame.playerInput ? "1" : "0") + "," + frame.gameTarget +
           "," + (frame.branchATaken ? "taken" : "fall") + "," + (frame.branchBTaken ? "taken" : "fall") + "," +
           std::to_string(frame.displays) + "," + joined(frame.messages);
}

SessionTrace RunScenario(const Scenario& scenario, World& world, std::ostream& record, std::ostream& story) {
    Runner runner(world, record, story);
    const std::size_t slash = scenario.file.find_last_of("\\/");
    runner.Start(slash == std::string::npos ? scenario.file : scenario.file.substr(slash + 1));
    std::set<std::string> declared;
    for (const ScenarioCommand& command : scenario.commands) Run(scenario, command, declared, &runner);
    return std::move(runner.Trace());
}

}  // namespace sim

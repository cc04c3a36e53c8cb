#pragma once
// The stand-in game's world: the player, actors, races, scene nodes, the camera, the
// handle table and the process lists, each at the layout the plugin reads. Tests and
// scenarios build one in a few lines and change it between calls.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/HostTable.h"
#include "sim/code/CodeSites.h"
#include "sim/game/Faults.h"

namespace sim {

// Host string slots inside the stand-in's own objects: SetName interns the text into the
// slot (releasing what it held), ClearName releases it. Objects clear their slots when
// they go, so the slots' own destructors find nothing left to release.
void SetName(host::FixedString& slot, const std::string& text);
void ClearName(host::FixedString& slot);

struct SimActor;

struct Node : host::NiNode {
    explicit Node(const std::string& nodeName, host::NiPoint3 world = {});
    ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    Node* AddChild(const std::string& childName, host::NiPoint3 world);
    Node* Find(const char* handle);  // this node or a descendant with that interned name

    host::FixedString name;
    std::vector<std::unique_ptr<Node>> children;
    SimActor* owner = nullptr;  // the actor whose model this is (set on its root)
};

// A reference at the host's actor layout, with what the stand-in answers for it.
struct SimActorBase : host::TESActorBase {
    bool female = false;
};

struct SimActor : host::PlayerCharacter {
    SimActor();
    ~SimActor();
    SimActor(const SimActor&) = delete;
    SimActor& operator=(const SimActor&) = delete;
    std::uint32_t References() const { return referenceWord & host::kReferenceCountMask; }

    host::ActorHandle handle = 0;
    std::uint32_t ownReferences = 1;  // what the game itself holds; anything above is someone's
    bool dead = false;
    bool dying = false;          // not yet dead: IsDead answers true only when asked to count the dying
    bool hostile = true;         // toward the player
    bool wall = false;           // HasLineOfSight fails outright
    bool lineOfSight = true;     // HasLineOfSight succeeds and says whether the player can see it
    bool loaded = true;          // 3D loaded: the root node is handed out
    host::NiPoint3 fallbackAim;  // the host's own aim position
    // The point the game last handed out as this actor's aim: a node of its model found by
    // name, or its fallback aim position. Null until asked; for the record only.
    std::atomic<const host::NiPoint3*> aimGiven{nullptr};
    std::unique_ptr<Node> root;
    SimActorBase baseRecord{};
    host::TESRace raceRecord{};
    std::string skeletonPaths[2];
    host::BGSBodyPartData bodyPartData{};
    host::BGSBodyPart bodyPart{};
    host::ExtraDataPresence extra{};
};

struct ActorSetup {
    host::NiPoint3 position;
    // Skeleton paths for a male and a female of the race (as the game stores them).
    std::string malePath = "Actors\\Character\\DefaultMale.hkx";
    std::string femalePath = "Actors\\Character\\DefaultFemale.hkx";
    bool female = false;
    bool hostile = true;
    bool essential = false;
    // Named nodes of the loaded model, placed relative to the actor's position.
    std::vector<std::pair<std::string, host::NiPoint3>> nodes = {{"NPC Spine2 [Spn2]", {0, 0, 100}}};
    std::string bodyPartNode;  // the race's first body part names this node when set
    host::NiPoint3 fallbackOffset = {0, 0, 80};
};

struct SimCameraState : host::ThirdPersonState {
    host::NiPoint3 cameraPosition;  // what GetStateCameraPosition reports
};

struct SimCamera : host::PlayerCamera {
    SimCamera();
    void SetState(std::uint32_t slot) { currentState = states[slot]; }
    // The camera without (or again with) its root node, or its first-person state's node.
    void UseRootNode(bool use) { cameraRoot = use ? rootNode.get() : nullptr; }
    void UseFirstPersonNode(bool use) { firstPerson.node = use ? firstPersonNode.get() : nullptr; }
    host::FirstPersonState& FirstPerson() { return firstPerson; }
    SimCameraState& ThirdPerson() { return stateObjects[host::kCameraStateThirdPerson]; }

    host::FirstPersonState firstPerson{};
    SimCameraState stateObjects[host::kCameraStateCount]{};
    std::unique_ptr<Node> rootNode;
    std::unique_ptr<Node> firstPersonNode;
};

// What the game's camera shows: where it is and where it looks (radians; heading from +y
// toward +x, pitch positive looking down, roll positive turning the view clockwise as the
// first-person node's matrix turns it), and its vertical field of view in degrees.
struct CameraView {
    bool firstPerson = false;
    host::NiPoint3 position;
    float heading = 0, pitch = 0, roll = 0;
    float fieldOfView = 0;
};

// First-person node rotation for a heading, a node pitch and a roll (radians), laid out
// the way the game reads it back: turned by the heading, then pitched, then rolled.
host::NiMatrix3 FirstPersonRotation(float heading, float pitch, float roll = 0);

struct PlayedSound {
    host::TESForm* sound;
    std::uint32_t flags;
    host::NiPoint3 position;
    host::NiNode* node;
};

struct SimGamepad : host::BSInputDevice {
    bool enabled = false;
};

// What the game was told to do with the player's rotation.
struct RotationCall {
    enum Kind { kHeading, kPitch } kind;
    float value;
};

using MenuManagerState = host::MenuManager;
class InputChain;

// A menu of the game's own: it stays registered and is never destroyed.
struct HostMenu final : host::IMenu {
    explicit HostMenu(std::uint32_t menuFlags) { flags = menuFlags; }
    HOST_THISCALL void* DeletingDestructor(std::uint32_t) override { return this; }
};

// A movie the game loaded for a menu. Like a Flash movie's, its script has not run, and
// so its functions do not exist, until the game has advanced it by a frame (IMenu slot 5).
struct SimMovieView {
    std::string name;
    bool visible = true;
    int advances = 0;          // frames the game's slot-5 step ran
    int displays = 0;          // DisplayMovie calls
    bool initialised = false;  // the game's slot-8 step was handed it
};

// A call into a movie: its full path, every argument, whether a result was asked for,
// and whether the movie could take it.
struct MovieCall {
    SimMovieView* view;
    std::string path;
    std::vector<host::FlashValue> args;
    std::vector<double> numbers;  // the numeric arguments, in order
    bool resultRequested;
    bool accepted;
};

struct QueuedMessage {
    const char* name;  // interned, one reference held while queued
    std::uint32_t type;
};

// A UI message the game delivered to a menu, and the menu's answer.
struct DeliveredMessage {
    std::string menu;
    std::uint32_t type;
    std::uint32_t result;
};

// The word the game gives a menu it opens; the menu must release it when it goes.
struct MenuAttachment {
    const host::IMenu* menu;
    std::uint32_t value;
    bool released;
};

// The game's menus: names the stand-in registers at start, with their flags.
struct HostMenuSetup {
    const char* name;
    std::uint32_t flags;
};
inline constexpr HostMenuSetup kHostMenus[] = {
    {"Main Menu", host::kMenuFlagPausesGame},        {"Loading Menu", host::kMenuFlagPausesGame},
    {"Dialogue Menu", host::kMenuFlagHidesOverlays}, {"Inventory Menu", host::kMenuFlagPausesGame},
    {"Console", host::kMenuFlagHidesOverlays},       {"HUD Menu", 0},
};
inline constexpr std::uint32_t kMenuBuckets = 64;

// What the game is: the conditions tests and scenarios set, before a frame or between
// frames, and the stand-in answers the plugin from. (The player, actors, camera and menus
// are set through World's own functions; the host's globals through TheGame().)
struct GameConditions {
    // The camera rides with the player (its eye above the player) unless it is pinned,
    // and its first-person node turns with the player's heading, tilted by its own pitch
    // and roll.
    bool cameraPinned = false;
    float firstPersonPitch = 0, firstPersonRoll = 0;
    host::ControlState controlState{};  // the controls the game lets the player use
    bool hostBusy = false;              // IsHostBusy's answer
    SimGamepad gamepad;                 // enabled: a gamepad is the input device in use
    std::string dataFolder;             // where LoadMovie looks for Interface\<name>.swf
    // The game's own code each frame runs beside the plugin: an object that asks the
    // target-update entry for its target, and the routine with the two branch sites.
    host::TargetUpdateObject gameTarget{};
    host::BranchSiteAObject branchObject{};  // its flag set: the game's own code takes branch A
    bool branchBDiffers = false;             // the game's own compare takes branch B
};

// What the plugin had the game do in this session, recorded from whichever thread the call
// came on (under `mutex`): read by tests, written by the scenario player to the frame
// record and the replay.
struct SessionRecord {
    std::mutex mutex;
    std::vector<PlayedSound> sounds;
    std::vector<RotationCall> rotations;
    std::vector<MovieCall> movieCalls;
    std::vector<DeliveredMessage> messages;
    std::vector<MenuAttachment> attachments;  // the words menus were given, and whether released
    // The paths the game's own code took at the two branch sites in the last frame.
    BranchPath branchA = BranchPath::kFallThrough, branchB = BranchPath::kFallThrough;
};

class World {
public:
    World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;
    ~World();

    SimActor& Player() { return *player_; }
    SimCamera& Camera() { return camera_; }
    // The view as the camera stands now, and as it stood when this frame's per-frame call
    // began: what the previous frame put on the screen, and what the plugin measures from.
    CameraView View();
    CameraView frameView;
    SimActor& AddActor(const ActorSetup& setup);
    // Puts a raw handle into the process lists (a stale one, the empty one...).
    void AddProcessHandle(host::ActorHandle handle);
    // The handle stops resolving; the object stays, as an unloaded reference would.
    void Unload(SimActor& actor);
    SimActor* Resolve(host::ActorHandle handle) const;
    std::vector<SimActor*> Actors() const;

    // The game opening or closing one of its menus at once (not through the queue).
    void OpenMenu(const char* name);
    void CloseMenu(const char* name);
    // The game destroys an open menu it built without sending it the close message first.
    void DestroyMenu(const char* name);
    bool IsMenuOpen(const char* handle) const;
    // UI messages, as QueueUIMessage leaves them; handled by the next frame.
    void QueueMessage(const char* name, std::uint32_t type);
    void ProcessMessages();
    host::MenuTableEntry* FindMenu(const char* handle);
    std::size_t RegisteredMenus() const;  // each holds its interned name
    void RegisterMenu(const char* name, host::MenuCreator creator, host::IMenu* instance);
    host::IMenu* OpenInstance(const char* name);  // the open instance of a menu, or null
    // One game frame: the per-frame call, the queued UI messages, every open menu's draw.
    void RunFrame();
    // Its two halves, which the game runs on threads of their own: the game's frame (the
    // per-frame call and the game's own code), and the interface's (messages, then each
    // open menu's step and draw).
    void RunGameFrame();
    void RunInterfaceFrame();
    void SendInput(const InputChain& chain);
    void Kill(SimActor& actor);
    // Sends a menu open or close event to the sinks on the menu manager's source.
    void SendMenuEvent(const char* name, bool opening);
    // Registers a sink of another game class on that source (see CodeSites::MakeSink).
    ForeignSink* AddMenuSink(const char* decoratedName, bool sharedFreezeTable = true,
                             TypeInfoOwner owner = TypeInfoOwner::kGame);

    // The bad answers this world gives, fixed when it was built (see Faults()).
    const FaultSwitches faults = Faults();
    // What the game is: set by tests and scenarios, answered to the plugin.
    GameConditions conditions;
    // What the plugin had the game do: read by tests, written to the record and the replay.
    SessionRecord session;

    // The stand-in's own machinery: the objects its globals and entries hand out, and the
    // code the patches change. Tests read it; what they set is in `conditions`, unless no
    // condition describes the state (a process list too long to reserve).
    host::UIStringTable uiStrings{};
    MenuManagerState menuManager{};
    host::ProcessLists processLists{};
    host::InputEventDispatcher inputDispatcher{};
    CodeSites code{faults.refusedSite, faults.strangeSite};
    std::vector<std::unique_ptr<SimMovieView>> movies;
    SimMovieView* FindMovie(const host::GFxMovieView* view) const;  // null: not a live movie
    host::PlayerControls playerControls{};
    host::PlayerInputHandler inputHandler{};
    int frames = 0;

private:
    void PublishHandles();
    void SetUpMenus();
    void TearDownMenus();
    void ApplyMessage(const char* handle, std::uint32_t type);
    void Deliver(const char* handle, host::IMenu& menu, std::uint32_t type);
    host::MenuTableEntry* FreeEntry();

    // The game's threads all ask whether a menu is open; only the interface's changes it.
    mutable std::mutex openMenusMutex_;
    std::vector<std::unique_ptr<HostMenu>> hostMenus_;
    host::MenuTableEntry menuEntries_[kMenuBuckets]{};
    host::MenuTableEntry menuSentinel_{};
    std::vector<const char*> openMenus_;  // in opening order, one reference each
    std::vector<QueuedMessage> queue_;

    std::vector<std::unique_ptr<SimActor>> actors_;
    SimActor* player_ = nullptr;
    SimCamera camera_;
    std::unordered_map<host::ActorHandle, SimActor*> handles_;
    std::vector<host::ActorHandle> processHandles_;
    host::ActorHandle nextHandle_;
};

// The names the stand-in gives the menus of its interface string table.
inline constexpr char kGateMenuName[] = "Dialogue Menu";
inline constexpr char kBlockingMenuName[] = "Main Menu";
inline constexpr char kTriggerMenuName[] = "Loading Menu";

World& TheWorld();
// A new, empty world: the player at the origin facing +y, the camera in third person.
World& ResetWorld();
// The world ends as the game would end it: open menus closed, then destroyed.
void DestroyWorld();

// A chain of input events in the host's layout.
class InputChain {
public:
    InputChain& Button(std::uint32_t device, std::uint32_t idCode, float value = 1.0f, float held = 0.0f);
    InputChain& Thumbstick(std::uint32_t stickId, float x, float y);
    InputChain& Other(std::uint32_t eventType, std::uint32_t device = host::kDeviceKeyboard);
    host::InputEvent* First() const { return first_; }

private:
    void Link(host::InputEvent* event);
    std::vector<std::unique_ptr<host::ButtonEvent>> buttons_;
    std::vector<std::unique_ptr<host::ThumbstickEvent>> thumbsticks_;
    std::vector<std::unique_ptr<host::InputEvent>> others_;
    host::InputEvent* first_ = nullptr;
    host::InputEvent* last_ = nullptr;
};

}  // namespace sim

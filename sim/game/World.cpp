#include "sim/game/World.h"

#include <cmath>

#include "sim/game/EventSource.h"
#include "sim/game/Game.h"
#include "sim/game/Heaps.h"
#include "sim/game/Misuse.h"
#include "sim/game/StringPool.h"
#include "sim/game/WorldEntries.h"

namespace sim {

namespace {

constexpr host::ActorHandle kFirstHandle = 0x00100000;
constexpr float kDefaultFieldOfView = 65.0f;
constexpr host::NiPoint3 kEyeOffset = {0, 0, 120};

host::NiPoint3 Add(host::NiPoint3 a, host::NiPoint3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

const char*& RawHandle(host::FixedString& slot) { return *reinterpret_cast<const char**>(&slot); }

SimActor* AsSimActor(host::TESObjectREFR* reference) { return static_cast<SimActor*>(reference); }

World* current = nullptr;

}  // namespace

void SetName(host::FixedString& slot, const std::string& text) {
    ClearName(slot);
    RawHandle(slot) = Strings().Intern(text.c_str());
}

void ClearName(host::FixedString& slot) {
    if (slot.Handle()) Strings().Release(slot.Handle());
    RawHandle(slot) = nullptr;
}

Node::Node(const std::string& nodeName, host::NiPoint3 world) : host::NiNode{} {
    SetName(name, nodeName);
    worldTranslation = world;
    localTranslation = world;
}

Node::~Node() { ClearName(name); }

Node* Node::AddChild(const std::string& childName, host::NiPoint3 world) {
    children.push_back(std::make_unique<Node>(childName, world));
    return children.back().get();
}

Node* Node::Find(const char* handle) {
    if (handle == nullptr) return nullptr;
    if (name.Handle() == handle) return this;
    for (const auto& child : children)
        if (Node* found = child->Find(handle)) return found;
    return nullptr;
}

SimActor::SimActor() : host::PlayerCharacter{} {
    formType = host::kFormTypeActor;
    referenceWord = 1;  // the world's own reference
    baseForm = &baseRecord;
    race = &raceRecord;
    extraPresence = &extra;
}

SimActor::~SimActor() { ClearName(bodyPart.nodeName); }

SimCamera::SimCamera() : host::PlayerCamera{} {
    for (std::uint32_t slot = 0; slot < host::kCameraStateCount; ++slot) states[slot] = &stateObjects[slot];
    states[host::kCameraStateFirstPerson] = &firstPerson;
    rootNode = std::make_unique<Node>("Camera Root", kEyeOffset);
    firstPersonNode = std::make_unique<Node>("FirstPerson Camera", kEyeOffset);
    firstPersonNode->worldRotate = FirstPersonRotation(0, 0);
    firstPerson.node = firstPersonNode.get();
    cameraRoot = rootNode.get();
    ThirdPerson().cameraPosition = kEyeOffset;
    fieldOfView = kDefaultFieldOfView;
    SetState(host::kCameraStateThirdPerson);
}

host::NiMatrix3 FirstPersonRotation(float heading, float pitch, float roll) {
    const float ch = std::cos(heading), sh = std::sin(heading);
    const float cp = std::cos(pitch), sp = std::sin(pitch);
    const float cr = std::cos(roll), sr = std::sin(roll);
    return host::NiMatrix3{{{ch * cr + sh * sp * sr, sh * cp, ch * sr - sh * sp * cr},
                            {-sh * cr + ch * sp * sr, ch * cp, -sh * sr - ch * sp * cr},
                            {-cp * sr, sp, cp * cr}}};
}

World::World() : nextHandle_(kFirstHandle) {
    actors_.push_back(std::make_unique<SimActor>());
    player_ = actors_.back().get();
    player_->handle = nextHandle_++;
    player_->hostile = false;
    player_->root = std::make_unique<Node>("NPC Root [Root]");
    player_->fallbackAim = kEyeOffset;
    handles_[player_->handle] = player_;

    SetName(uiStrings.gateMenu, kGateMenuName);
    SetName(uiStrings.blockingMenu, kBlockingMenuName);
    SetName(uiStrings.triggerMenu, kTriggerMenuName);
    PublishHandles();

    inputDispatcher.gamepadDevice = &conditions.gamepad;
    code.Publish(HostTable());
    code.ownTarget = kEmptyHandle;
    conditions.gameTarget.targetHandle = kEmptyHandle;
    SetUpMenus();
    if (faults.heapRefuses) HostHeap().FailNextAllocations(1);
    if (faults.allocatorRefuses) HostAllocator().FailNextAllocations(1);

    Game& game = TheGame();
    NameSource(menuManager.menuOpenCloseSource, "the menu open/close event source");
    NameSource(inputDispatcher, "the input event dispatcher");
    NameSource(game.deaths, "the death event source");
    NameSource(game.magicEffectApplied, "the magic-effect-applied event source");
    game.inputDispatcher = nullptr;
    game.player = player_;
    game.processLists = &processLists;
    game.uiStrings = &uiStrings;
    game.camera = nullptr;  // the getters create these on first use
    game.controlState = nullptr;
    game.menuManager = nullptr;
}

World::~World() {
    TearDownMenus();
    code.CheckIntegrity();
    // Every reference the plugin looked up must have been dropped by the time the game ends.
    for (const auto& actor : actors_)
        if (actor->References() != actor->ownReferences)
            ReportMisuse("an actor ends with " + std::to_string(actor->References()) +
                         " references where the game holds " + std::to_string(actor->ownReferences) +
                         ": a looked-up reference was never dropped");
    ClearName(uiStrings.gateMenu);
    ClearName(uiStrings.blockingMenu);
    ClearName(uiStrings.triggerMenu);
    CodeSites::Withdraw(HostTable());
    Game& game = TheGame();
    game.inputDispatcher = nullptr;
    game.player = nullptr;
    game.processLists = nullptr;
    game.uiStrings = nullptr;
    game.camera = nullptr;
    game.controlState = nullptr;
    game.menuManager = nullptr;
}

SimActor& World::AddActor(const ActorSetup& setup) {
    actors_.push_back(std::make_unique<SimActor>());
    SimActor& actor = *actors_.back();
    actor.handle = nextHandle_++;
    actor.position = setup.position;
    actor.hostile = setup.hostile;
    actor.baseRecord.female = setup.female;
    if (setup.essential) actor.flagWord |= host::kActorFlagEssential;
    actor.skeletonPaths[0] = setup.malePath;
    actor.skeletonPaths[1] = setup.femalePath;
    for (int sex = 0; sex < 2; ++sex)
        actor.raceRecord.skeleton[sex].path =
            actor.skeletonPaths[sex].empty() ? nullptr : actor.skeletonPaths[sex].c_str();
    if (!setup.bodyPartNode.empty()) {
        SetName(actor.bodyPart.nodeName, setup.bodyPartNode);
        actor.bodyPartData.firstPart = &actor.bodyPart;
        actor.raceRecord.bodyPartData = &actor.bodyPartData;
    }
    actor.root = std::make_unique<Node>("NPC Root [Root]", setup.position);
    actor.root->owner = &actor;
    for (const auto& [name, offset] : setup.nodes) actor.root->AddChild(name, Add(setup.position, offset));
    actor.fallbackAim = Add(setup.position, setup.fallbackOffset);
    handles_[actor.handle] = &actor;
    processHandles_.push_back(actor.handle);
    PublishHandles();
    return actor;
}

void World::AddProcessHandle(host::ActorHandle handle) {
    processHandles_.push_back(handle);
    PublishHandles();
}

void World::Unload(SimActor& actor) { handles_.erase(actor.handle); }

SimActor* World::Resolve(host::ActorHandle handle) const {
    const auto found = handles_.find(handle);
    return found == handles_.end() ? nullptr : found->second;
}

std::vector<SimActor*> World::Actors() const {
    std::vector<SimActor*> all;
    for (const auto& actor : actors_) all.push_back(actor.get());
    return all;
}

void World::PublishHandles() {
    processLists.actorHandles = processHandles_.data();
    processLists.actorCount = static_cast<std::uint32_t>(processHandles_.size());
    processLists.capacity = static_cast<std::uint32_t>(processHandles_.capacity());
}

void World::SendMenuEvent(const char* name, bool opening) {
    host::MenuOpenCloseEvent event{};
    SetName(event.menuName, name);
    event.opening = opening ? 1 : 0;
    Send(menuManager.menuOpenCloseSource, event);
    ClearName(event.menuName);
}

ForeignSink* World::AddMenuSink(const char* decoratedName, bool sharedFreezeTable, TypeInfoOwner owner) {
    ForeignSink* sink = code.MakeSink(decoratedName, sharedFreezeTable, owner);
    AddSink(menuManager.menuOpenCloseSource, sink);
    return sink;
}

World& TheWorld() {
    if (current == nullptr) current = new World();
    return *current;
}

World& ResetWorld() {
    DestroyWorld();
    current = new World();
    return *current;
}

void DestroyWorld() {
    delete current;
    current = nullptr;
}

// --- Input chains.

namespace {
// Each event class has its own table address, as the game's have; the cast tells them apart.
void* const kButtonVtable[1] = {nullptr};
void* const kThumbstickVtable[1] = {nullptr};
void* const kOtherVtable[1] = {nullptr};
}  // namespace

void InputChain::Link(host::InputEvent* event) {
    if (last_) last_->next = event;
    if (!first_) first_ = event;
    last_ = event;
}

InputChain& InputChain::Button(std::uint32_t device, std::uint32_t idCode, float value, float held) {
    auto event = std::make_unique<host::ButtonEvent>();
    event->vtable = const_cast<void**>(kButtonVtable);
    event->device = device;
    event->eventType = host::kEventButton;
    event->idCode = idCode;
    event->value = value;
    event->heldDuration = held;
    Link(event.get());
    buttons_.push_back(std::move(event));
    return *this;
}

InputChain& InputChain::Thumbstick(std::uint32_t stickId, float x, float y) {
    auto event = std::make_unique<host::ThumbstickEvent>();
    event->vtable = const_cast<void**>(kThumbstickVtable);
    event->device = host::kDeviceGamepad;
    event->eventType = host::kEventThumbstick;
    event->stickId = stickId;
    event->x = x;
    event->y = y;
    Link(event.get());
    thumbsticks_.push_back(std::move(event));
    return *this;
}

InputChain& InputChain::Other(std::uint32_t eventType, std::uint32_t device) {
    auto event = std::make_unique<host::InputEvent>();
    event->vtable = const_cast<void**>(kOtherVtable);
    event->device = device;
    event->eventType = eventType;
    Link(event.get());
    others_.push_back(std::move(event));
    return *this;
}

// --- Host entries.

namespace entries {

const char kInputEventType[] = ".?AVInputEvent@@";
const char kButtonEventType[] = ".?AVButtonEvent@@";
const char kThumbstickEventType[] = ".?AVThumbstickEvent@@";

host::PlayerCamera* HOST_CDECL GetPlayerCameraSingleton() { return &TheWorld().Camera(); }
host::ControlState* HOST_CDECL GetControlStateSingleton() { return &TheWorld().conditions.controlState; }
host::MenuManager* HOST_CDECL GetMenuManagerSingleton() {
    World& world = TheWorld();
    return world.faults.noMenuManager ? nullptr : &world.menuManager;
}
host::InputEventDispatcher* HOST_CDECL GetInputEventDispatcherSingleton() { return &TheWorld().inputDispatcher; }

void HOST_THISCALL SetActorHeading(host::Actor* actor, float heading) {
    actor->rotation.z = heading;
    World& world = TheWorld();
    std::lock_guard<std::mutex> lock(world.session.mutex);
    world.session.rotations.push_back({RotationCall::kHeading, heading});
}

void HOST_THISCALL SetActorPitch(host::Actor* actor, float pitch) {
    actor->rotation.x = pitch;
    World& world = TheWorld();
    std::lock_guard<std::mutex> lock(world.session.mutex);
    world.session.rotations.push_back({RotationCall::kPitch, pitch});
}

bool HOST_THISCALL IsGamepadEnabled(host::BSInputDevice* device) { return static_cast<SimGamepad*>(device)->enabled; }

bool HOST_CDECL LookupReferenceByHandle(const host::ActorHandle* handle, host::TESObjectREFR** out) {
    SimActor* actor = TheWorld().Resolve(*handle);
    if (actor == nullptr) return false;
    __atomic_add_fetch(&actor->referenceWord, 1, __ATOMIC_SEQ_CST);  // counted from any of the game's threads
    *out = actor;
    return true;
}

void HOST_THISCALL DropReference(host::TESObjectREFR* reference) {
    std::uint32_t word = __atomic_load_n(&reference->referenceWord, __ATOMIC_SEQ_CST);
    do {
        if ((word & host::kReferenceCountMask) == 0) {
            ReportMisuse("DropReference on a reference nobody holds: its count would go below zero");
            return;
        }
    } while (!__atomic_compare_exchange_n(&reference->referenceWord, &word, word - 1, false, __ATOMIC_SEQ_CST,
                                          __ATOMIC_SEQ_CST));
}

host::ActorHandle* HOST_CDECL CreateRefHandle(host::ActorHandle* out, host::TESObjectREFR* reference) {
    SimActor* actor = AsSimActor(reference);
    *out = TheWorld().Resolve(actor->handle) == actor ? actor->handle : TheGame().emptyHandle;
    return out;
}

host::NiNode* HOST_THISCALL GetActorRootNode(host::TESObjectREFR* reference) {
    SimActor* actor = AsSimActor(reference);
    return actor->loaded ? actor->root.get() : nullptr;
}

bool HOST_THISCALL IsDead(host::Actor* actor, bool includeDying) {
    const SimActor* simActor = AsSimActor(actor);
    return simActor->dead || (includeDying && simActor->dying);
}

bool HOST_THISCALL IsHostileTo(host::Actor*, host::Actor* other) { return AsSimActor(other)->hostile; }

bool HOST_THISCALL HasLineOfSight(host::Actor*, host::TESObjectREFR* target, bool* seen) {
    const SimActor* actor = AsSimActor(target);
    if (actor->wall) return false;  // the out flag is left as the caller set it
    *seen = actor->lineOfSight;
    return true;
}

bool HOST_CDECL IsHostBusy() { return TheWorld().conditions.hostBusy; }

bool HOST_THISCALL IsFemaleActorBase(host::TESActorBase* base) { return static_cast<SimActorBase*>(base)->female; }

host::NiPoint3* HOST_THISCALL GetActorFallbackAimPosition(host::TESObjectREFR* reference, host::NiPoint3* out) {
    SimActor* actor = AsSimActor(reference);
    *out = actor->fallbackAim;
    actor->aimGiven.store(&actor->fallbackAim, std::memory_order_relaxed);
    return out;
}

host::NiAVObject* HOST_THISCALL FindNodeByName(host::NiAVObject* root, const host::FixedString* name) {
    if (root == nullptr || name == nullptr) return nullptr;
    Node* model = static_cast<Node*>(static_cast<host::NiNode*>(root));
    Node* found = model->Find(name->Handle());
    if (found != nullptr && model->owner != nullptr)
        model->owner->aimGiven.store(&found->worldTranslation, std::memory_order_relaxed);
    return found;
}

host::NiPoint3* HOST_THISCALL GetStateCameraPosition(host::TESCameraState* state, host::NiPoint3* out) {
    *out = static_cast<SimCameraState*>(static_cast<host::ThirdPersonState*>(state))->cameraPosition;
    return out;
}

host::TESForm* HOST_CDECL LookupFormById(std::uint32_t formId) {
    Game& game = TheGame();
    ++game.formLookups;
    return formId == host::kLockCueSoundFormId && !TheWorld().faults.noLockCueForm ? &game.lockCueSound : nullptr;
}

void HOST_CDECL PlaySoundAt(host::TESForm* sound, std::uint32_t flags, const host::NiPoint3* position,
                            host::NiNode* node) {
    World& world = TheWorld();
    std::lock_guard<std::mutex> lock(world.session.mutex);
    world.session.sounds.push_back({sound, flags, position ? *position : host::NiPoint3{}, node});
}

bool HOST_THISCALL IsMenuOpen(host::MenuManager* manager, const host::FixedString* name) {
    if (manager == nullptr || name == nullptr) return false;
    return TheWorld().IsMenuOpen(name->Handle());
}

void* HOST_CDECL HostDynamicCast(void* object, std::int32_t, const void*, const void* targetType, std::int32_t) {
    if (object == nullptr) return nullptr;
    if (targetType == kInputEventType) return object;
    const void* vtable = static_cast<host::InputEvent*>(object)->vtable;
    if (targetType == kButtonEventType && vtable == kButtonVtable) return object;
    if (targetType == kThumbstickEventType && vtable == kThumbstickVtable) return object;
    return nullptr;
}

}  // namespace entries

}  // namespace sim

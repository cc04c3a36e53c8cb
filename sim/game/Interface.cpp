// The stand-in's interface: the menu manager and its table, the UI message queue, movies,
// and the frame loop that drives them.

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "sim/game/EventSource.h"
#include "sim/game/Game.h"
#include "sim/loader/Loader.h"
#include "sim/game/StringPool.h"
#include "sim/game/World.h"
#include "sim/game/WorldEntries.h"

namespace sim {

namespace {

// Opaque game objects the plugin only passes back: their addresses are what matters.
char scaleformManagerObject;
char uiMessageQueueObject;

constexpr float kEyeHeight = 120;

std::uint32_t HashOf(const char* handle) {
    const auto word = reinterpret_cast<std::uintptr_t>(handle);
    return Crc32(&word, sizeof word);
}

const char*& RawName(host::MenuTableEntry& entry) { return *reinterpret_cast<const char**>(&entry.name); }

void MoveEntry(host::MenuTableEntry& to, host::MenuTableEntry& from) {
    std::memcpy(static_cast<void*>(&to), &from, sizeof to);
    std::memset(static_cast<void*>(&from), 0, sizeof from);
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void CountFlags(host::MenuManager& manager, const host::IMenu* menu, int delta) {
    if (menu == nullptr) return;
    if (menu->flags & host::kMenuFlagPausesGame) manager.pausingMenuCount += delta;
    if (menu->flags & host::kMenuFlagHidesOverlays) manager.overlayHidingMenuCount += delta;
}

}  // namespace

void World::SetUpInterface() {
    menuManager.menuTable.bucketCount = kMenuBuckets;
    menuManager.menuTable.freeOffset = kMenuBuckets;
    menuManager.menuTable.endSentinel = &menuSentinel_;
    menuManager.menuTable.entries = menuEntries_;
    for (const HostMenuSetup& setup : kHostMenus) {
        hostMenus_.push_back(std::make_unique<HostMenu>(setup.flags));
        RegisterMenu(setup.name, nullptr, hostMenus_.back().get());
    }
    inputHandler.enabled = 1;
    playerControls.inputHandler = &inputHandler;
    dataFolder = ProgramFolder() + "\\Data";
    Game& game = TheGame();
    game.scaleformManager =
        faults.noScaleformManager ? nullptr : reinterpret_cast<host::ScaleformManager*>(&scaleformManagerObject);
    game.uiMessageQueue = faults.noUiMessageQueue ? nullptr : reinterpret_cast<host::UIMessageQueue*>(&uiMessageQueueObject);
    game.playerControls = nullptr;  // filled by its getter
}

void World::TearDownInterface() {
    // Menus the plugin created go the way the game would take them: closed, then destroyed.
    while (!openMenus_.empty()) ApplyMessage(openMenus_.back(), host::kMessageClose);
    for (const QueuedMessage& message : queue_) Strings().Release(message.name);
    queue_.clear();
    for (host::MenuTableEntry& entry : menuEntries_) ClearName(entry.name);
    ForgetSource(menuManager.menuOpenCloseSource);
    ForgetSource(inputDispatcher);
    ForgetSource(TheGame().deaths);
    Game& game = TheGame();
    game.scaleformManager = nullptr;
    game.uiMessageQueue = nullptr;
    game.playerControls = nullptr;
}

host::MenuTableEntry* World::FreeEntry() {
    host::MenuTable& table = menuManager.menuTable;
    while (table.freeOffset > 0) {
        host::MenuTableEntry& candidate = menuEntries_[--table.freeOffset];
        if (candidate.next == nullptr) return &candidate;
    }
    return nullptr;
}

// The game's own hash set: an entry with no next is free, chains end at the sentinel, and
// an entry sitting in another entry's home bucket is moved out of the way.
void World::RegisterMenu(const char* name, host::MenuCreator creator, host::IMenu* instance) {
    const char* handle = Strings().Intern(name);
    if (host::MenuTableEntry* existing = FindMenu(handle)) {
        existing->creator = creator;
        Strings().Release(handle);
        return;
    }
    host::MenuTableEntry& home = menuEntries_[HashOf(handle) & (kMenuBuckets - 1)];
    if (home.next != nullptr) {
        host::MenuTableEntry* free = FreeEntry();
        if (free == nullptr) {
            Strings().Release(handle);
            return;
        }
        host::MenuTableEntry& occupantHome = menuEntries_[HashOf(home.name.Handle()) & (kMenuBuckets - 1)];
        if (&occupantHome == &home) {
            RawName(*free) = handle;
            free->menu = instance;
            free->creator = creator;
            free->next = home.next;
            home.next = free;
            ++menuManager.menuTable.freeCount;
            return;
        }
        host::MenuTableEntry* link = &occupantHome;
        while (link->next != &home) link = link->next;
        MoveEntry(*free, home);
        link->next = free;
    }
    RawName(home) = handle;
    home.menu = instance;
    home.creator = creator;
    home.next = &menuSentinel_;
    ++menuManager.menuTable.freeCount;
}

host::MenuTableEntry* World::FindMenu(const char* handle) {
    host::MenuTableEntry* entry = &menuEntries_[HashOf(handle) & (kMenuBuckets - 1)];
    if (entry->next == nullptr) return nullptr;
    for (; entry != nullptr && entry != &menuSentinel_; entry = entry->next)
        if (entry->name.Handle() == handle) return entry;
    return nullptr;
}

std::size_t World::RegisteredMenus() const {
    return static_cast<std::size_t>(std::count_if(std::begin(menuEntries_), std::end(menuEntries_),
                                                  [](const host::MenuTableEntry& e) { return e.next != nullptr; }));
}

bool World::IsMenuOpen(const char* handle) const {
    return std::find(openMenus_.begin(), openMenus_.end(), handle) != openMenus_.end();
}

host::IMenu* World::OpenInstance(const char* name) {
    const char* handle = Strings().Intern(name);
    host::MenuTableEntry* entry = IsMenuOpen(handle) ? FindMenu(handle) : nullptr;
    Strings().Release(handle);
    return entry ? entry->menu : nullptr;
}

void World::QueueMessage(const char* name, std::uint32_t type) { queue_.push_back({Strings().Intern(name), type}); }

void World::ProcessMessages() {
    std::vector<QueuedMessage> pending;
    pending.swap(queue_);
    for (const QueuedMessage& message : pending) {
        ApplyMessage(message.name, message.type);
        Strings().Release(message.name);
    }
}

void World::ApplyMessage(const char* handle, std::uint32_t type) {
    host::MenuTableEntry* entry = FindMenu(handle);
    if (entry == nullptr) return;
    const bool open = IsMenuOpen(handle);
    if (type == host::kMessageOpen && !open) {
        if (entry->menu == nullptr && entry->creator != nullptr) entry->menu = entry->creator();
        if (entry->menu == nullptr) return;  // the creator failed: the menu simply does not open
        Strings().AddRef(handle);
        openMenus_.push_back(handle);
        CountFlags(menuManager, entry->menu, +1);
        host::UIMessage message{nullptr, host::kMessageOpen, nullptr};
        entry->menu->HandleUIMessage(&message);
    } else if (type == host::kMessageClose && open) {
        host::IMenu* menu = entry->menu;
        host::UIMessage message{nullptr, host::kMessageClose, nullptr};
        menu->HandleUIMessage(&message);
        std::erase(openMenus_, handle);
        CountFlags(menuManager, menu, -1);
        if (entry->creator != nullptr) {  // menus built by a creator are destroyed on close
            entry->menu = nullptr;
            menu->DeletingDestructor(1);
        }
        Strings().Release(handle);
    } else {
        return;
    }
    host::MenuOpenCloseEvent event{};
    SetName(event.menuName, std::string(handle));
    event.opening = type == host::kMessageOpen;
    Send(menuManager.menuOpenCloseSource, event);
    ClearName(event.menuName);
}

void World::OpenMenu(const char* name) {
    const char* handle = Strings().Intern(name);
    ApplyMessage(handle, host::kMessageOpen);
    Strings().Release(handle);
}

void World::CloseMenu(const char* name) {
    const char* handle = Strings().Intern(name);
    ApplyMessage(handle, host::kMessageClose);
    Strings().Release(handle);
}

void World::RunFrame() {
    ++frames;
    // The camera rides with the player: its eye above the player, the first-person view
    // turned with the player's heading.
    const host::NiPoint3& at = player_->position;
    const host::NiPoint3 eye = {at.x, at.y, at.z + kEyeHeight};
    camera_.rootNode->worldTranslation = eye;
    camera_.ThirdPerson().cameraPosition = eye;
    camera_.firstPersonNode->worldRotate = FirstPersonRotation(player_->rotation.z, 0);
    code.RunFrame(&code, static_cast<std::uint32_t>(frames), 0);
    // The game's own code that the plugin's patches change.
    code.CallTargetUpdate(gameTarget, static_cast<std::uint32_t>(frames));
    branchA = code.RunBranchA(branchObject);
    branchB = code.RunBranchB(0, branchBDiffers ? 1 : 0);
    ProcessMessages();
    const std::vector<const char*> open = openMenus_;
    for (const char* handle : open)
        if (host::MenuTableEntry* entry = FindMenu(handle); entry && entry->menu && IsMenuOpen(handle))
            entry->menu->DrawMenu();
}

void World::SendInput(const InputChain& chain) {
    host::InputEvent* first = chain.First();
    Dispatch(inputDispatcher, &first);
}

void World::Kill(SimActor& actor) {
    actor.dead = true;
    host::TESDeathEvent event{&actor};
    Send(TheGame().deaths, event);
}

namespace entries {

host::PlayerControls* HOST_CDECL GetPlayerControlsSingleton() { return &TheWorld().playerControls; }

void HOST_THISCALL RegisterMenu(host::MenuManager*, const char* name, host::MenuCreator creator) {
    TheWorld().RegisterMenu(name, creator, nullptr);
}

void HOST_THISCALL QueueUIMessage(host::UIMessageQueue*, const host::FixedString* name, std::uint32_t type, void*) {
    if (name && name->Handle()) TheWorld().QueueMessage(name->Handle(), type);
}

bool HOST_THISCALL LoadMovie(host::ScaleformManager*, host::IMenu*, host::GFxMovieView** view, const char* name,
                             std::uint32_t, std::uint32_t) {
    World& world = TheWorld();
    if (world.faults.noMovieFile || !FileExists(world.dataFolder + "\\Interface\\" + name + ".swf")) return false;
    world.movies.push_back(std::make_unique<SimMovieView>());
    world.movies.back()->name = name;
    *view = reinterpret_cast<host::GFxMovieView*>(world.movies.back().get());
    return true;
}

void HOST_CDECL ReleaseMenuAttachment(std::uint32_t* attachment) {
    TheWorld().releasedAttachments.push_back({*attachment});
    *attachment = 0;
}

bool HOST_THISCALL InvokeMovie(host::GFxMovieView* view, const char* path, host::FlashValue* result,
                               const host::FlashValue* args, std::uint32_t count) {
    MovieCall call{reinterpret_cast<SimMovieView*>(view), path ? path : "", {}, result != nullptr};
    for (std::uint32_t i = 0; i < count; ++i)
        if (args[i].type == host::kFlashNumber) call.numbers.push_back(args[i].payload.number);
    TheWorld().movieCalls.push_back(std::move(call));
    return true;
}

void HOST_THISCALL DisplayMovie(host::GFxMovieView* view) { ++reinterpret_cast<SimMovieView*>(view)->displays; }

void HOST_THISCALL SetMovieVisible(host::GFxMovieView* view, bool visible) {
    reinterpret_cast<SimMovieView*>(view)->visible = visible;
}

bool HOST_THISCALL IsMovieVisible(host::GFxMovieView* view) { return reinterpret_cast<SimMovieView*>(view)->visible; }

void HOST_THISCALL ReleaseMovie(host::GFxMovieView* view) {
    std::erase_if(TheWorld().movies, [&](const auto& movie) { return movie.get() == reinterpret_cast<SimMovieView*>(view); });
}

}  // namespace entries

}  // namespace sim

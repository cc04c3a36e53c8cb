// The stand-in game's UI (what the game calls its interface; not the script extender's
// interface record, which the loader fills): the menu manager and its table, the UI
// message queue, movies, and the frame loop that drives them, with the host-table entries
// that answer for menus and movies.

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "sim/game/EventSource.h"
#include "sim/game/Game.h"
#include "sim/game/Misuse.h"
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
constexpr float kFrameInterval = 1.0f / 60;  // what the game's slot-5 step is told a frame lasts
constexpr std::uint32_t kFirstAttachment = 0xA7000001;

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

// The functions the marker movie's script defines, and what each takes.
struct MovieFunction {
    const char* movie;
    const char* path;
    std::uint32_t numbers;  // every argument is a number
};
constexpr MovieFunction kMovieFunctions[] = {
    {"TarvekMenu", "_root.widget.SetTargetPos", 3},
    {"TarvekMenu", "_root.widget.Hide", 0},
};

// Whether the movie can take the call; what it cannot take is reported as misuse.
bool AcceptsCall(const MovieCall& call) {
    if (call.view == nullptr) {
        ReportMisuse("InvokeMovie on a movie view the game does not know (released?): " + call.path);
        return false;
    }
    if (call.view->advances == 0) {
        ReportMisuse("InvokeMovie " + call.path +
                     " before the movie ran its first frame: its functions do not "
                     "exist yet (the game's own IMenu slot 5 advances it)");
        return false;
    }
    for (const MovieFunction& function : kMovieFunctions) {
        if (call.view->name != function.movie || call.path != function.path) continue;
        const bool numbers = std::all_of(call.args.begin(), call.args.end(),
                                         [](const host::FlashValue& v) { return v.type == host::kFlashNumber; });
        if (call.args.size() == function.numbers && numbers) return true;
        ReportMisuse("InvokeMovie " + call.path + " with " + std::to_string(call.args.size()) +
                     " arguments (numbers: " + (numbers ? "all" : "not all") + "); it takes " +
                     std::to_string(function.numbers) + " numbers");
        return false;
    }
    ReportMisuse("InvokeMovie " + call.path + ": movie " + call.view->name + " has no such function");
    return false;
}

void CountFlags(host::MenuManager& manager, const host::IMenu* menu, int delta) {
    if (menu == nullptr) return;
    if (menu->flags & host::kMenuFlagPausesGame) manager.pausingMenuCount += delta;
    if (menu->flags & host::kMenuFlagHidesOverlays) manager.overlayHidingMenuCount += delta;
}

}  // namespace

void World::SetUpMenus() {
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
    conditions.dataFolder = ProgramFolder() + "\\Data";
    Game& game = TheGame();
    game.scaleformManager =
        faults.noScaleformManager ? nullptr : reinterpret_cast<host::ScaleformManager*>(&scaleformManagerObject);
    game.uiMessageQueue =
        faults.noUiMessageQueue ? nullptr : reinterpret_cast<host::UIMessageQueue*>(&uiMessageQueueObject);
    game.playerControls = nullptr;  // filled by its getter
}

void World::TearDownMenus() {
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

SimMovieView* World::FindMovie(const host::GFxMovieView* view) const {
    for (const auto& movie : movies)
        if (reinterpret_cast<const host::GFxMovieView*>(movie.get()) == view) return movie.get();
    return nullptr;
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
    std::lock_guard<std::mutex> lock(openMenusMutex_);
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
        if (entry->menu == nullptr && entry->creator != nullptr) {
            entry->menu = entry->creator();
            if (entry->menu == nullptr) return;  // the creator failed: the menu simply does not open
            // The game gives a menu it builds a word of its own, and hands it its movie.
            const auto given = kFirstAttachment + static_cast<std::uint32_t>(session.attachments.size());
            session.attachments.push_back({entry->menu, given, false});
            entry->menu->attachment = session.attachments.back().value;
            entry->menu->InitMovie();
        }
        if (entry->menu == nullptr) return;
        Strings().AddRef(handle);
        {
            std::lock_guard<std::mutex> lock(openMenusMutex_);
            openMenus_.push_back(handle);
        }
        CountFlags(menuManager, entry->menu, +1);
        Deliver(handle, *entry->menu, host::kMessageOpen);
    } else if (type == host::kMessageClose && open) {
        host::IMenu* menu = entry->menu;
        Deliver(handle, *menu, host::kMessageClose);
        {
            std::lock_guard<std::mutex> lock(openMenusMutex_);
            std::erase(openMenus_, handle);
        }
        CountFlags(menuManager, menu, -1);
        if (entry->creator != nullptr) {  // menus built by a creator are destroyed on close
            entry->menu = nullptr;
            menu->DeletingDestructor(1);
            for (const MenuAttachment& attachment : session.attachments)
                if (attachment.menu == menu && !attachment.released)
                    ReportMisuse(std::string(handle) + " was destroyed without releasing the game's attachment word");
            std::erase_if(session.attachments, [&](const MenuAttachment& a) { return a.menu == menu; });
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

void World::Deliver(const char* handle, host::IMenu& menu, std::uint32_t type) {
    host::UIMessage message{nullptr, type, nullptr};
    session.messages.push_back({handle, type, menu.HandleUIMessage(&message)});
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

void World::DestroyMenu(const char* name) {
    const char* handle = Strings().Intern(name);
    host::MenuTableEntry* entry = FindMenu(handle);
    if (entry != nullptr && entry->creator != nullptr && entry->menu != nullptr && IsMenuOpen(handle)) {
        host::IMenu* menu = entry->menu;
        {
            std::lock_guard<std::mutex> lock(openMenusMutex_);
            openMenus_.erase(std::find(openMenus_.begin(), openMenus_.end(), handle));
        }
        Strings().Release(handle);
        CountFlags(menuManager, menu, -1);
        entry->menu = nullptr;
        menu->DeletingDestructor(1);
        std::erase_if(session.attachments, [&](const MenuAttachment& a) { return a.menu == menu; });
    }
    Strings().Release(handle);
}

void World::RunFrame() {
    RunGameFrame();
    RunInterfaceFrame();
}

void World::RunGameFrame() {
    ++frames;
    if (!conditions.cameraPinned) {
        const host::NiPoint3& at = player_->position;
        const host::NiPoint3 eye = {at.x, at.y, at.z + kEyeHeight};
        camera_.rootNode->worldTranslation = eye;
        camera_.ThirdPerson().cameraPosition = eye;
    }
    camera_.firstPersonNode->worldRotate =
        FirstPersonRotation(player_->rotation.z, conditions.firstPersonPitch, conditions.firstPersonRoll);
    frameView = View();
    code.RunFrame(&code, static_cast<std::uint32_t>(frames), 0);
    // The game's own code that the plugin's patches change.
    code.CallTargetUpdate(conditions.gameTarget, static_cast<std::uint32_t>(frames));
    session.branchA = code.RunBranchA(conditions.branchObject);
    session.branchB = code.RunBranchB(0, conditions.branchBDiffers ? 1 : 0);
}

CameraView World::View() {
    CameraView view;
    view.fieldOfView = camera_.fieldOfView;
    const host::NiPoint3& rotation = player_->rotation;
    if (camera_.currentState == camera_.states[host::kCameraStateThirdPerson]) {
        const SimCameraState& state = camera_.ThirdPerson();
        view.position = state.cameraPosition;
        view.heading = rotation.z + state.headingOffset;
        view.pitch = rotation.x + state.pitchOffset;
        return view;
    }
    // In the player's head: the eye, turned with the player and tilted by the first-person
    // node, whose own pitch is positive looking up.
    view.firstPerson = camera_.currentState == camera_.states[host::kCameraStateFirstPerson];
    view.position = camera_.rootNode->worldTranslation;
    view.heading = rotation.z;
    view.pitch = view.firstPerson ? rotation.x - conditions.firstPersonPitch : rotation.x;
    view.roll = view.firstPerson ? conditions.firstPersonRoll : 0.0f;
    return view;
}

void World::RunInterfaceFrame() {
    ProcessMessages();
    // Each open menu's movie advances by a frame, then the menu draws.
    std::vector<const char*> open;
    {
        std::lock_guard<std::mutex> lock(openMenusMutex_);
        open = openMenus_;
    }
    for (const char* handle : open) {
        host::MenuTableEntry* entry = FindMenu(handle);
        if (entry == nullptr || entry->menu == nullptr || !IsMenuOpen(handle)) continue;
        entry->menu->AdvanceMovie(kFrameInterval, static_cast<std::uint32_t>(frames));
        entry->menu->DrawMenu();
    }
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
    const std::string file = world.conditions.dataFolder + "\\Interface\\" + name + ".swf";
    if (world.faults.noMovieFile || !FileExists(file)) return false;
    world.movies.push_back(std::make_unique<SimMovieView>());
    world.movies.back()->name = name;
    *view = reinterpret_cast<host::GFxMovieView*>(world.movies.back().get());
    return true;
}

void HOST_CDECL ReleaseMenuAttachment(std::uint32_t* attachment) {
    World& world = TheWorld();
    std::vector<MenuAttachment>& given = world.session.attachments;
    const auto held = std::find_if(given.begin(), given.end(), [&](const MenuAttachment& a) {
        return attachment && a.value == *attachment && !a.released;
    });
    if (held == given.end()) {
        ReportMisuse("ReleaseMenuAttachment of a word the game did not give (or released twice)");
        return;
    }
    held->released = true;
    *attachment = 0;
}

void HOST_THISCALL MenuAdvanceMovieDefault(host::IMenu* menu, float, std::uint32_t) {
    if (menu->movieView == nullptr) return;
    if (SimMovieView* movie = TheWorld().FindMovie(menu->movieView))
        ++movie->advances;
    else
        ReportMisuse("IMenu slot 5 advanced a movie view the game does not know (released?)");
}

void HOST_THISCALL MenuInitMovieDefault(host::IMenu* menu, host::GFxMovieView* view) {
    if (view == nullptr && menu->movieView == nullptr) return;
    SimMovieView* movie = TheWorld().FindMovie(view);
    if (view != menu->movieView || movie == nullptr) {
        ReportMisuse("IMenu slot 8 was handed a movie view that is not the menu's own");
        return;
    }
    movie->initialised = true;
}

bool HOST_THISCALL InvokeMovie(host::GFxMovieView* view, const char* path, host::FlashValue* result,
                               const host::FlashValue* args, std::uint32_t count) {
    World& world = TheWorld();
    MovieCall call{world.FindMovie(view), path ? path : "", {}, {}, result != nullptr, false};
    for (std::uint32_t i = 0; args != nullptr && i < count; ++i) {
        call.args.push_back(args[i]);
        if (args[i].type == host::kFlashNumber) call.numbers.push_back(args[i].payload.number);
    }
    call.accepted = AcceptsCall(call);
    const bool accepted = call.accepted;
    std::lock_guard<std::mutex> lock(world.session.mutex);
    world.session.movieCalls.push_back(std::move(call));
    return accepted;
}

void HOST_THISCALL DisplayMovie(host::GFxMovieView* view) {
    if (SimMovieView* movie = TheWorld().FindMovie(view))
        ++movie->displays;
    else
        ReportMisuse("DisplayMovie on a movie view the game does not know");
}

void HOST_THISCALL SetMovieVisible(host::GFxMovieView* view, bool visible) {
    if (SimMovieView* movie = TheWorld().FindMovie(view))
        movie->visible = visible;
    else
        ReportMisuse("SetMovieVisible on a movie view the game does not know");
}

bool HOST_THISCALL IsMovieVisible(host::GFxMovieView* view) {
    if (SimMovieView* movie = TheWorld().FindMovie(view)) return movie->visible;
    ReportMisuse("IsMovieVisible on a movie view the game does not know");
    return false;
}

void HOST_THISCALL ReleaseMovie(host::GFxMovieView* view) {
    World& world = TheWorld();
    if (world.FindMovie(view) == nullptr) {
        ReportMisuse("ReleaseMovie of a movie view the game does not know (released twice?)");
        return;
    }
    std::erase_if(world.movies,
                  [&](const auto& movie) { return movie.get() == reinterpret_cast<SimMovieView*>(view); });
}

}  // namespace entries

}  // namespace sim

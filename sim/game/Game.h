#pragma once
// The stand-in game's running state and the host table it exports to the plugin.

#include "host/HostTable.h"
#include "sim/game/EventSource.h"

namespace sim {

// The handle value that means "no actor". Not 0, so that a plugin comparing with a
// literal instead of the host's value shows up in tests.
inline constexpr host::ActorHandle kEmptyHandle = 0x000FFFFF;

// The host's globals. The pointer globals that have a getter start null and are filled
// by it on first use, as the game's are.
struct Game {
    host::BSTEventSource<host::TESMagicEffectApplyEvent> magicEffectApplied{};
    host::BSTEventSource<host::TESDeathEvent> deaths{};
    host::ActorHandle emptyHandle = kEmptyHandle;
    host::PlayerCharacter* player = nullptr;
    host::ProcessLists* processLists = nullptr;
    host::UIStringTable* uiStrings = nullptr;
    host::PlayerCamera* camera = nullptr;
    host::ControlState* controlState = nullptr;
    host::MenuManager* menuManager = nullptr;
    host::InputEventDispatcher* inputDispatcher = nullptr;
    host::PlayerControls* playerControls = nullptr;
    host::ScaleformManager* scaleformManager = nullptr;  // null: the game has no movie manager
    host::UIMessageQueue* uiMessageQueue = nullptr;
    std::uint32_t screenWidth = 1920;
    std::uint32_t screenHeight = 1080;
    std::uint8_t invertLookY = 0;
    std::uint8_t steeringGate = 1;  // nonzero while the game lets the player turn
    // Forms outlive any one world, as a plugin may keep what it looked up.
    host::TESForm lockCueSound{};
    int formLookups = 0;
};

Game& TheGame();

// The table this host exports; tests may clear entries to play a host that lacks them.
host::HostTable& HostTable();
// Withdraws the export (a host without a binding) or restores it.
void ExportHostTable(bool exported);

// The game as a new process starts it, for the next session in this one: the globals and
// the exported table as they first were, no fault switched on, no refusal left pending in
// the allocators. Only between sessions: no world built, the last plugin unloaded (what
// it left registered with the game is dropped unheard).
void ResetGame();

}  // namespace sim

// Exported from the program, where the plugin looks for it (on Linux: with -rdynamic).
#ifdef _WIN32
#define SIM_EXPORT __declspec(dllexport)
#else
#define SIM_EXPORT __attribute__((visibility("default")))
#endif
extern "C" SIM_EXPORT host::HostTable* VeldrinHostTable;

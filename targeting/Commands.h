#pragma once
// The player's input turned into lock decisions: lock, switch, release, and the right
// thumbstick kept for steering.

#include <cstdint>

#include "host/Events.h"
#include "host/Input.h"
#include "targeting/LockState.h"

// One numbering for every device: keyboard scan codes, mouse buttons from 256, gamepad
// buttons 266-281. Codes from 282 on are invalid.
using KeyCode = std::uint32_t;
inline constexpr KeyCode kMouseKeyBase = 256;
inline constexpr KeyCode kInvalidKeyCode = 282;

KeyCode MapGamepadButton(std::uint32_t idCode);
KeyCode KeyCodeFor(std::uint32_t device, std::uint32_t idCode);

// The input sink: `events` points at the first event of the chain (either may be null).
void HandleTargetInput(TargetLock& lock, host::InputEvent* const* events);
// The death sink: releases the lock when the player dies.
void HandlePlayerDeath(TargetLock& lock, const host::TESDeathEvent* event);

void LockCommand(TargetLock& lock);
void SwitchCommand(TargetLock& lock);
void PlayLockCue();

// The lock cue's sound form, looked up on the first lock (only the input thread plays it).
struct LockCueForm {
    bool lookedUp = false;
    host::TESForm* form = nullptr;  // null: the game has none, and none is played
};
extern LockCueForm gLockCue;

#include "targeting/Commands.h"

#include <vector>

#include "host/Host.h"
#include "settings/Settings.h"
#include "targeting/CandidateScan.h"

namespace {

struct GamepadKey {
    std::uint32_t idCode;  // XInput button mask, or the host's trigger codes
    KeyCode key;
};

constexpr GamepadKey kGamepadKeys[] = {
    {0x0001, 266},  // DPAD_UP
    {0x0002, 267},  // DPAD_DOWN
    {0x0004, 268},  // DPAD_LEFT
    {0x0008, 269},  // DPAD_RIGHT
    {0x0010, 270},  // START
    {0x0020, 271},  // BACK
    {0x0040, 272},  // LEFT_THUMB
    {0x0080, 273},  // RIGHT_THUMB
    {0x0100, 274},  // LEFT_SHOULDER
    {0x0200, 275},  // RIGHT_SHOULDER
    {0x1000, 276},  // A
    {0x2000, 277},  // B
    {0x4000, 278},  // X
    {0x8000, 279},  // Y
    {9, 280},       // left trigger
    {10, 281},      // right trigger
};

// The handle the game would give a candidate: none for a reference nobody counts.
host::ActorHandle HandleOf(host::Actor* actor) {
    const host::ActorHandle empty = host::EmptyHandle();
    if ((actor->referenceWord & host::kReferenceCountMask) == 0) return empty;
    host::ActorHandle handle = empty;
    host::Call<&host::HostTable::CreateRefHandle>(&handle, actor);
    return handle;
}

std::vector<TargetCandidate> SortedCandidates() {
    std::vector<TargetCandidate> list;
    CollectCandidates(list);
    if (!list.empty()) SortCandidates(list);
    return list;
}

// Gives the player `handle` as the new target (under the caller's stateLock).
void TakeTarget(TargetLock& lock, host::ActorHandle handle, bool cue) {
    if (cue) PlayLockCue();
    lock.targetHandle = handle;
    lock.visitedSet.insert(handle);
}

template <class View>
View* Cast(host::InputEvent* event, const void* host::HostTable::*targetType) {
    const host::HostTable* t = host::Table();
    if (t == nullptr || t->HostDynamicCast == nullptr) return nullptr;
    return static_cast<View*>(host::NeutralOnThrow(static_cast<void*>(nullptr), [&] {
        return t->HostDynamicCast(event, 0, t->InputEventType, t->*targetType, 0);
    }));
}

void HandleButton(TargetLock& lock, host::ButtonEvent& button) {
    if (!(button.value > 0) || button.heldDuration != 0) return;  // only the first frame of a press
    const KeyCode key = KeyCodeFor(button.device, button.idCode);
    if (key >= kInvalidKeyCode) return;
    if (key == static_cast<KeyCode>(gSettings.LockKeyCode))
        LockCommand(lock);
    else if (key == static_cast<KeyCode>(gSettings.SwitchTargetKeyCode))
        SwitchCommand(lock);
}

}  // namespace

KeyCode MapGamepadButton(std::uint32_t idCode) {
    for (const GamepadKey& entry : kGamepadKeys)
        if (entry.idCode == idCode) return entry.key;
    return kInvalidKeyCode;
}

KeyCode KeyCodeFor(std::uint32_t device, std::uint32_t idCode) {
    switch (device) {
        case host::kDeviceMouse: return kMouseKeyBase + idCode;
        case host::kDeviceGamepad: return MapGamepadButton(idCode);
        default: return idCode;  // keyboard scan codes, and devices we do not know, pass through
    }
}

void HandleTargetInput(TargetLock& lock, host::InputEvent* const* events) {
    for (host::InputEvent* event = events ? *events : nullptr; event != nullptr; event = event->next) {
        if (event->eventType == host::kEventButton) {
            if (auto* button = Cast<host::ButtonEvent>(event, &host::HostTable::ButtonEventType))
                HandleButton(lock, *button);
        } else if (event->eventType == host::kEventThumbstick) {
            auto* stick = Cast<host::ThumbstickEvent>(event, &host::HostTable::ThumbstickEventType);
            if (stick != nullptr && stick->stickId == host::kRightThumbstick) {
                LockState.rightStickX = stick->x;
                LockState.rightStickY = stick->y;
            }
        }
    }
}

void HandlePlayerDeath(TargetLock& lock, const host::TESDeathEvent* event) {
    if (event != nullptr && event->actor != nullptr && event->actor == host::Player()) ReleaseTarget(lock);
}

void LockCommand(TargetLock& lock) {
    if (lock.targetHandle != host::EmptyHandle()) {
        ReleaseTarget(lock);
        return;
    }
    const std::vector<TargetCandidate> candidates = SortedCandidates();
    if (candidates.empty()) return;
    const host::ActorHandle handle = HandleOf(candidates.front().actor);
    host::SpinLockGuard guard(lock.stateLock);
    TakeTarget(lock, handle, true);
}

void SwitchCommand(TargetLock& lock) {
    if (lock.targetHandle == host::EmptyHandle()) return;
    const std::vector<TargetCandidate> candidates = SortedCandidates();
    if (candidates.empty()) return;

    host::SpinLockGuard guard(lock.stateLock);
    if (lock.visitedSet.empty()) return;
    for (const TargetCandidate& candidate : candidates) {
        const host::ActorHandle handle = HandleOf(candidate.actor);
        if (!lock.visitedSet.count(handle)) {
            TakeTarget(lock, handle, true);
            return;
        }
    }
    // Every candidate was given: start again from the best one, passing over the current
    // target when it is the best and another exists. The best one is among the visited,
    // and is the first given again: its entry stays, which spares the set an allocation.
    const host::ActorHandle best = HandleOf(candidates[0].actor);
    std::erase_if(lock.visitedSet, [best](host::ActorHandle handle) { return handle != best; });
    if (candidates.size() == 1 || best != lock.targetHandle) {
        TakeTarget(lock, best, best != lock.targetHandle);
        return;
    }
    lock.visitedSet.insert(best);
    const host::ActorHandle next = HandleOf(candidates[1].actor);
    TakeTarget(lock, next, next != lock.targetHandle);
}

LockCueForm gLockCue;

void PlayLockCue() {
    host::PlayerCharacter* player = host::Player();
    host::NiNode* root = player ? host::ActorRootNode(player) : nullptr;
    if (root == nullptr) return;
    // Looked up once for the life of the process; a missing form is remembered too.
    if (!gLockCue.lookedUp) {
        gLockCue.form = host::CallOr<&host::HostTable::LookupFormById>(static_cast<host::TESForm*>(nullptr),
                                                                       host::kLockCueSoundFormId);
        gLockCue.lookedUp = true;
    }
    host::TESForm* cue = gLockCue.form;
    if (cue == nullptr) return;  // no sound to play: the host is never handed a null form
    host::Call<&host::HostTable::PlaySoundAt>(cue, 0u, &player->position, root);
}

#include "targeting/CandidateScan.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "host/Host.h"
#include "settings/Settings.h"
#include "targeting/Geometry.h"

namespace {

constexpr double kDegreesPerHalfTurn = 180.0;

// The game states in which the player may not start a lock.
bool ScanAllowed(const host::PlayerCamera& camera, host::Actor& player) {
    if (camera.currentState != nullptr && camera.currentState == camera.states[host::kCameraStateNoScan]) return false;
    const host::ControlState* controls = host::GetControlState();
    if (controls != nullptr && controls->scanBlocked != 0) return false;
    if (host::CallOr<&host::HostTable::IsHostBusy>(false)) return false;
    const host::UIStringTable* strings = host::UIStrings();
    host::MenuManager* menus = host::GetMenuManager();
    if (menus == nullptr || strings == nullptr || host::IsMenuOpen(menus, &strings->gateMenu)) return false;
    return !PlayerBlocksTargeting(player);
}

// The per-actor tests that come before any geometry, cheapest first.
bool Qualifies(host::Actor& player, host::Actor& actor) {
    if (actor.formType != host::kFormTypeActor) return false;
    if (host::ActorRootNode(&actor) == nullptr) return false;
    if (host::CallOr<&host::HostTable::IsDead>(true, &actor, true)) return false;
    bool seen = false;
    if (!host::CallOr<&host::HostTable::HasLineOfSight>(false, &player, &actor, &seen) || !seen) return false;
    if (gSettings.OnlyHostile && !host::CallOr<&host::HostTable::IsHostileTo>(false, &player, &actor)) return false;
    if (gSettings.IgnoreEssentialActor && (actor.flagWord & host::kActorFlagEssential)) return false;
    return true;
}

}  // namespace

bool PlayerBlocksTargeting(const host::Actor& player) {
    return host::HasInteractionExtra(player) || (player.flagWord & host::kActorFlagScanBlocked) ||
           (player.stateWord & host::kActorStateLockBlocked);
}

void CollectCandidates(std::vector<TargetCandidate>& list) {
    const host::PlayerCamera* camera = host::GetPlayerCamera();
    host::PlayerCharacter* player = host::Player();
    const host::ProcessLists* lists = host::GetProcessLists();
    if (camera == nullptr || player == nullptr || !ScanAllowed(*camera, *player)) return;
    if (lists == nullptr || lists->actorHandles == nullptr || lists->actorCount == 0) return;

    const float halfFieldOfView =
        static_cast<float>(static_cast<double>(camera->fieldOfView) / kDegreesPerHalfTurn * kPi * 0.5);
    const host::NiPoint3 eye = GetCameraPosition(*camera, *player);
    // The view does not move during a scan: its angles are read once for every actor.
    const CameraAngles view = GetCameraAngles(*camera, *player);
    const float maxDistance = static_cast<float>(static_cast<std::uint32_t>(gSettings.MaxDistance));
    const host::ActorHandle empty = host::EmptyHandle();
    list.reserve(list.size() + lists->actorCount);

    for (std::uint32_t i = 0; i < lists->actorCount; ++i) {
        const host::ActorHandle handle = lists->actorHandles[i];
        if (handle == empty) continue;
        const host::ReferenceGuard held = host::LookupReference(handle);
        if (!held) continue;
        auto& actor = static_cast<host::Actor&>(*held.Get());
        if (!Qualifies(*player, actor)) continue;

        const host::NiPoint3 aim = ResolveAimPoint(actor);
        const float dx = aim.x - eye.x, dy = aim.y - eye.y, dz = aim.z - eye.z;
        const float horizontalSquared = dy * dy + dx * dx;
        const float distance = SingleSqrt(horizontalSquared + dz * dz);
        if (distance > maxDistance) continue;

        const auto yaw = static_cast<float>(WrapToPi(SingleAtan2(dx, dy) - view.heading));
        const auto pitch = static_cast<float>(WrapToPi(SingleAtan2(-dz, SingleSqrt(horizontalSquared)) - view.pitch));
        if (!(halfFieldOfView > std::fabs(yaw))) continue;  // the vertical offset never rejects

        const float key = SingleSqrt(pitch * pitch + yaw * yaw);
        if (!(key >= 0)) continue;  // NaN
        list.push_back({key, &actor});
    }
}

void SortCandidates(std::vector<TargetCandidate>& list) {
    std::sort(list.begin(), list.end(), [](const TargetCandidate& a, const TargetCandidate& b) {
        if (a.angularDistance != b.angularDistance) return a.angularDistance < b.angularDistance;
        return std::less<const host::Actor*>{}(a.actor, b.actor);
    });
}

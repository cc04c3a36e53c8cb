#include "targeting/CandidateScan.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "host/Host.h"
#include "settings/Settings.h"
#include "targeting/Geometry.h"

namespace {

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

}  // namespace

bool Qualifies(host::Actor& player, host::Actor& actor, SightTest sight) {
    if (actor.formType != host::kFormTypeActor) return false;
    if (host::ActorRootNode(&actor) == nullptr) return false;
    if (host::CallOr<&host::HostTable::IsDead>(true, &actor, true)) return false;
    if (sight == SightTest::kInSight) {
        bool seen = false;
        if (!host::CallOr<&host::HostTable::HasLineOfSight>(false, &player, &actor, &seen) || !seen) return false;
    }
    if (gSettings.OnlyHostile && !host::CallOr<&host::HostTable::IsHostileTo>(false, &player, &actor)) return false;
    if (gSettings.IgnoreEssentialActor && (actor.flagWord & host::kActorFlagEssential)) return false;
    return true;
}

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

    const auto halfFieldOfView = static_cast<float>(HalfFieldOfView(camera->fieldOfView));
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
        if (!Qualifies(*player, actor, SightTest::kInSight)) continue;

        const AimMeasurement aim = MeasureAim(eye, ResolveAimPoint(actor));
        if (aim.distance > maxDistance) continue;

        // The view's angles are subtracted in float here.
        const auto yaw = static_cast<float>(WrapToPi(aim.heading - view.heading));
        const auto pitch = static_cast<float>(WrapToPi(aim.pitch - view.pitch));
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

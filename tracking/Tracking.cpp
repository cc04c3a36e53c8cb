#include "tracking/Tracking.h"

#include <cmath>

#include "host/Callback.h"
#include "host/Host.h"
#include "settings/Settings.h"
#include "targeting/CandidateScan.h"
#include "targeting/Geometry.h"
#include "targeting/LockState.h"
#include "tracking/Steering.h"

namespace {

ScreenSize screenSizeCache;

// The checks a locked target must pass every frame; false ends the lock.
bool StillQualifies(host::Actor& target, host::PlayerCharacter* player) {
    if (target.formType != host::kFormTypeActor) return false;
    if (host::ActorRootNode(&target) == nullptr) return false;
    if (host::CallOr<&host::HostTable::IsDead>(true, &target, true)) return false;
    if (player == nullptr || PlayerBlocksTargeting(*player)) return false;
    if (gSettings.OnlyHostile && !host::CallOr<&host::HostTable::IsHostileTo>(false, player, &target)) return false;
    if (gSettings.IgnoreEssentialActor && (target.flagWord & host::kActorFlagEssential)) return false;
    return true;
}

// Re-validates, projects and steers; false when the target no longer qualifies. The
// player, the camera and its position are fetched once and handed down.
bool Track(TargetLock& lock, host::Actor& target) {
    host::PlayerCharacter* player = host::Player();
    if (!StillQualifies(target, player)) return false;
    host::PlayerCamera* camera = host::GetPlayerCamera();
    if (camera == nullptr) return true;  // nothing to measure from: keep the lock, skip the frame

    const host::NiPoint3 aim = ResolveAimPoint(target);
    const host::NiPoint3 eye = GetCameraPosition(*camera, *player);
    const float dx = aim.x - eye.x, dy = aim.y - eye.y, dz = aim.z - eye.z;
    const float distance = SingleSqrt((dy * dy + dx * dx) + dz * dz);
    // A target whose aim point (or the camera) is not a number has no finite distance: it
    // no longer qualifies.
    if (!std::isfinite(distance)) return false;
    if (distance > static_cast<float>(static_cast<std::uint32_t>(gSettings.MaxDistance))) return false;

    const CameraAngles view = GetCameraAngles(*camera, *player);
    const float horizontal = SingleSqrt(dy * dy + dx * dx);
    const float heading = SingleAtan2(dx, dy);
    const float pitch = SingleAtan2(-dz, horizontal);
    const double range = SingleSqrt(horizontal * horizontal + dz * dz);
    const double headingDelta = WrapToPi(static_cast<double>(heading) - static_cast<double>(view.heading));
    const double pitchDelta = WrapToPi(static_cast<double>(pitch) - static_cast<double>(view.pitch));

    const MarkerPosition marker =
        ProjectMarker(headingDelta, pitchDelta, range, view.roll, camera->fieldOfView, CachedScreenSize());
    lock.markerX = marker.x;
    lock.markerY = marker.y;
    lock.markerDistance = range;

    const SteeringView steering{camera, *player, eye};
    AimAngles angles{headingDelta, pitchDelta, range};
    ComputeAimAngles(steering, aim, angles);
    ApplySteering(steering, angles);
    return true;
}

}  // namespace

MarkerPosition ProjectMarker(double headingDelta, double pitchDelta, double range, float roll,
                             float fieldOfViewDegrees, ScreenSize screen) {
    const double forward = range * std::cos(headingDelta) * std::cos(pitchDelta);
    double right = range * std::sin(headingDelta);
    double down = range * std::sin(pitchDelta);
    if (static_cast<float>(std::fabs(static_cast<double>(roll))) > 0) {
        const double c = static_cast<float>(std::cos(static_cast<double>(roll)));
        const double s = static_cast<float>(std::sin(static_cast<double>(roll)));
        const double unrolledRight = right;
        right = unrolledRight * c - s * down;
        down = down * c + s * unrolledRight;
    }
    const double focal = 1.0 / std::tan(static_cast<double>(fieldOfViewDegrees) * kPi / kDegreesPerTurnHalf);
    const double width = screen.width;
    const double height = screen.height;
    return {(((right / forward) * focal * kMarkerStageWidth) / width) * height,
            ((down / forward) * focal) * kMarkerStageHalfHeight};
}

ScreenSize CachedScreenSize() {
    if (screenSizeCache.height == 0) {
        const host::HostTable* t = host::Table();
        if (t && t->ScreenWidth && t->ScreenHeight) screenSizeCache = {*t->ScreenWidth, *t->ScreenHeight};
    }
    return screenSizeCache;
}

void ForgetScreenSize() { screenSizeCache = {}; }

namespace {

void TrackFrame() {
    host::MenuManager* menus = host::GetMenuManager();
    if (menus == nullptr) return;
    const host::UIStringTable* strings = host::UIStrings();
    if (strings != nullptr && host::IsMenuOpen(menus, &strings->gateMenu)) return;
    TargetLock* lock = ReadMarkerMenu();
    if (lock == nullptr) return;
    const host::ActorHandle handle = lock->targetHandle;
    if (handle == host::EmptyHandle()) return;

    const host::ReferenceGuard held = host::LookupReference(handle);
    if (!held || !Track(*lock, static_cast<host::Actor&>(*held.Get()))) ReleaseTarget(*lock);
}

}  // namespace

void UpdateTracking(void*, void*) {
    host::NeutralOnThrow([] { TrackFrame(); });
}

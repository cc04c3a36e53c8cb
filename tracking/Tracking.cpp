#include "tracking/Tracking.h"

#include <cmath>

#include "host/Callback.h"
#include "host/Host.h"
#include "settings/Settings.h"
#include "targeting/CandidateScan.h"
#include "targeting/Geometry.h"
#include "targeting/LockState.h"
#include "tracking/Steering.h"

ScreenSize gScreenSize;

namespace {

// Re-validates, projects and steers; false when the target no longer qualifies. The
// player, the camera and its position are fetched once and handed down.
bool Track(TargetLock& lock, host::Actor& target) {
    host::PlayerCharacter* player = host::Player();
    // A lock is kept on an actor that has gone out of sight.
    if (player == nullptr || PlayerBlocksTargeting(*player)) return false;
    if (!Qualifies(*player, target, SightTest::kNotAsked)) return false;
    host::PlayerCamera* camera = host::GetPlayerCamera();
    if (camera == nullptr) return true;  // nothing to measure from: keep the lock, skip the frame

    const host::NiPoint3 aimPoint = ResolveAimPoint(target);
    const AimMeasurement aim = MeasureAim(GetCameraPosition(*camera, *player), aimPoint);
    // A target whose aim point (or the camera) is not a number has no finite distance: it
    // no longer qualifies.
    if (!std::isfinite(aim.distance)) return false;
    if (aim.distance > static_cast<float>(static_cast<std::uint32_t>(gSettings.MaxDistance))) return false;

    // The view's angles are subtracted in double here.
    const CameraAngles view = GetCameraAngles(*camera, *player);
    const double range = aim.range;
    const double headingDelta = WrapToPi(static_cast<double>(aim.heading) - static_cast<double>(view.heading));
    const double pitchDelta = WrapToPi(static_cast<double>(aim.pitch) - static_cast<double>(view.pitch));

    const MarkerPosition marker =
        ProjectMarker(headingDelta, pitchDelta, range, view.roll, camera->fieldOfView, CachedScreenSize());
    lock.markerX = marker.x;
    lock.markerY = marker.y;
    lock.markerDistance = range;

    const SteeringView steering{camera, *player};
    ApplySteering(steering, ComputeAimAngles(steering, aim));
    return true;
}

}  // namespace

MarkerPosition ProjectMarker(double headingDelta, double pitchDelta, double range, float roll, float fieldOfViewDegrees,
                             ScreenSize screen) {
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
    const double focal = 1.0 / std::tan(HalfFieldOfView(fieldOfViewDegrees));
    const double width = screen.width;
    const double height = screen.height;
    return {(((right / forward) * focal * kMarkerStageWidth) / width) * height,
            ((down / forward) * focal) * kMarkerStageHalfHeight};
}

ScreenSize CachedScreenSize() {
    if (gScreenSize.height == 0) {
        const host::HostTable* t = host::Table();
        if (t && t->ScreenWidth && t->ScreenHeight) gScreenSize = {*t->ScreenWidth, *t->ScreenHeight};
    }
    return gScreenSize;
}

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

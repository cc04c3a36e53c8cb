#pragma once
// Once per game frame, while a target is locked: keep or end the lock, place the marker
// over the target, and steer the player toward it.

#include <cstdint>

#include "host/Scene.h"

// Marker coordinates: the movie's stage is 800 units across at the display's aspect
// and 480 high from the centre's point of view (see the README).
inline constexpr double kMarkerStageWidth = 800.0;
inline constexpr double kMarkerStageHalfHeight = 480.0;

struct ScreenSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct MarkerPosition {
    double x;
    double y;
};

// Camera-space projection of a target `range` away, `headingDelta` right and
// `pitchDelta` down of the view, with the camera rolled by `roll`.
MarkerPosition ProjectMarker(double headingDelta, double pitchDelta, double range, float roll, float fieldOfViewDegrees,
                             ScreenSize screen);

// The per-frame entry, run by the frame trampoline with the game's object and the address
// of its return slot; it needs neither. Nothing it throws reaches the game's frame.
void UpdateTracking(void* hostObject, void* returnSlot);

// The display size as read from the host: cached in gScreenSize once the height is known.
ScreenSize CachedScreenSize();
extern ScreenSize gScreenSize;

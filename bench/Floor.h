#pragma once
// The floor of the per-frame update: the arithmetic the update and the steering must do
// on one frame, on plain values, with no host call and none of the plugin's helpers.
// What the update spends beyond it (and beyond the game's own entries) is its overhead.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace floorplan {

struct Point {
    float x, y, z;
};

// Node positions by lowercased skeleton path, looked up by string_view without a copy.
struct PathHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
};
using AimPoints = std::unordered_map<std::string, Point, PathHash, std::equal_to<>>;

// Everything the frame reads, as plain numbers.
struct Inputs {
    // Aim point: either given (the body-part node's position), or found by lowercasing
    // `skeletonPath` and looking it up in `aimPoints` (the table's node positions).
    bool throughTable;
    Point aim;
    const char* skeletonPath;
    const AimPoints* aimPoints;

    Point eye;                 // the camera position for its state
    bool firstPerson;          // else third person
    float nodeRotation[3][3];  // the first-person node's world rotation
    float playerPitch, playerRoll, playerHeading;
    float headingOffset, pitchOffset;  // the third-person state's
    float fieldOfView;                 // degrees
    std::uint32_t screenWidth, screenHeight;
    std::uint32_t maxDistance;
    std::uint32_t cameraSpeed;
};

struct Outputs {
    bool kept;  // the target is within reach
    double markerX, markerY, markerDistance;
    double aimDistance;    // the steering's own distance (used only with a gamepad)
    float heading, pitch;  // what the player is turned to
    float headingOffset, pitchOffset;
};

Outputs Frame(const Inputs& in);

}  // namespace floorplan

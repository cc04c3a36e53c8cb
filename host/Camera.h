#pragma once
// The player camera and its states.

#include <cstddef>
#include <cstdint>

#include "host/Scene.h"

namespace host {

// Slots of the camera's state table.
inline constexpr std::uint32_t kCameraStateFirstPerson = 0;
inline constexpr std::uint32_t kCameraStateNoScan = 3;
inline constexpr std::uint32_t kCameraStateThirdPerson = 9;
inline constexpr std::uint32_t kCameraStateCount = 12;

struct TESCameraState {
    void* vtable;            // 00
    std::uint8_t pad04[20];  // 04
};

struct FirstPersonState : TESCameraState {
    NiNode* node;  // 18
};
static_assert(offsetof(FirstPersonState, node) == 24);

struct ThirdPersonState : TESCameraState {
    std::uint8_t pad18[172 - 24];
    float headingOffset;  // AC
    float pitchOffset;    // B0
};
static_assert(offsetof(ThirdPersonState, headingOffset) == 172);
static_assert(offsetof(ThirdPersonState, pitchOffset) == 176);

struct PlayerCamera {
    std::uint8_t pad00[28];                           // 00
    NiNode* cameraRoot;                               // 1C
    TESCameraState* currentState;                     // 20
    std::uint8_t pad24[108 - 36];                     // 24
    TESCameraState* states[kCameraStateCount];        // 6C
    std::uint8_t pad9C[172 - 156];                    // 9C
    float fieldOfView;                                // AC: CameraFieldOfView, degrees
};
static_assert(offsetof(PlayerCamera, cameraRoot) == 28);
static_assert(offsetof(PlayerCamera, currentState) == 32);
static_assert(offsetof(PlayerCamera, states) == 108);
static_assert(offsetof(PlayerCamera, states) + 4 * kCameraStateNoScan == 120);
static_assert(offsetof(PlayerCamera, states) + 4 * kCameraStateThirdPerson == 144);
static_assert(offsetof(PlayerCamera, fieldOfView) == 172);

}  // namespace host

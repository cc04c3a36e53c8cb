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
    void* vtable;              // 00
    std::uint8_t pad04[0x14];  // 04
};
static_assert(sizeof(TESCameraState) == 0x18);

struct FirstPersonState : TESCameraState {
    NiNode* node;  // 18
};
static_assert(offsetof(FirstPersonState, node) == 0x18);

struct ThirdPersonState : TESCameraState {
    std::uint8_t pad18[0x94];  // 18
    float headingOffset;       // AC
    float pitchOffset;         // B0
};
static_assert(offsetof(ThirdPersonState, headingOffset) == 0xAC);
static_assert(offsetof(ThirdPersonState, pitchOffset) == 0xB0);

struct PlayerCamera {
    std::uint8_t pad00[0x1C];                   // 00
    NiNode* cameraRoot;                         // 1C
    TESCameraState* currentState;               // 20
    std::uint8_t pad24[0x48];                   // 24
    TESCameraState* states[kCameraStateCount];  // 6C: slot 3 at 78, slot 9 at 90
    std::uint8_t pad9C[0x10];                   // 9C
    float fieldOfView;                          // AC: CameraFieldOfView, degrees
};
static_assert(offsetof(PlayerCamera, cameraRoot) == 0x1C);
static_assert(offsetof(PlayerCamera, currentState) == 0x20);
static_assert(offsetof(PlayerCamera, states) == 0x6C);
static_assert(offsetof(PlayerCamera, states) + sizeof(TESCameraState*) * kCameraStateNoScan == 0x78);
static_assert(offsetof(PlayerCamera, states) + sizeof(TESCameraState*) * kCameraStateThirdPerson == 0x90);
static_assert(offsetof(PlayerCamera, fieldOfView) == 0xAC);

}  // namespace host

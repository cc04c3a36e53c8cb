#pragma once
// Input events, devices and the player's control objects.

#include <cstddef>
#include <cstdint>

#include "host/Events.h"
#include "host/FixedString.h"

namespace host {

enum InputDevice : std::uint32_t { kDeviceKeyboard = 0, kDeviceMouse = 1, kDeviceGamepad = 2 };
enum InputEventType : std::uint32_t { kEventButton = 0, kEventThumbstick = 3 };
enum ThumbstickId : std::uint32_t { kLeftThumbstick = 11, kRightThumbstick = 12 };

struct InputEvent {
    void* vtable;             // 00
    std::uint32_t device;     // 04
    std::uint32_t eventType;  // 08
    InputEvent* next;         // 0C
};
static_assert(offsetof(InputEvent, device) == 0x04);
static_assert(offsetof(InputEvent, eventType) == 0x08);
static_assert(offsetof(InputEvent, next) == 0x0C);
static_assert(sizeof(InputEvent) == 0x10);

struct ButtonEvent : InputEvent {
    FixedString controlName;  // 10
    std::uint32_t idCode;     // 14
    float value;              // 18: above 0 while pressed
    float heldDuration;       // 1C: exactly 0 in the first frame of a press
};
static_assert(offsetof(ButtonEvent, controlName) == 0x10);
static_assert(offsetof(ButtonEvent, idCode) == 0x14);
static_assert(offsetof(ButtonEvent, value) == 0x18);
static_assert(offsetof(ButtonEvent, heldDuration) == 0x1C);

struct ThumbstickEvent : InputEvent {
    FixedString controlName;  // 10
    std::uint32_t stickId;    // 14
    float x;                  // 18
    float y;                  // 1C
};
static_assert(offsetof(ThumbstickEvent, controlName) == 0x10);
static_assert(offsetof(ThumbstickEvent, stickId) == 0x14);
static_assert(offsetof(ThumbstickEvent, x) == 0x18);
static_assert(offsetof(ThumbstickEvent, y) == 0x1C);

struct BSInputDevice {
    void* vtable;  // 00
};

// The dispatcher is itself the input events' source.
struct InputEventDispatcher : BSTEventSource<InputEvent*> {
    std::uint8_t pad14[0x28];      // 14
    BSInputDevice* gamepadDevice;  // 3C
};
static_assert(offsetof(InputEventDispatcher, gamepadDevice) == 0x3C);

struct PlayerInputHandler {
    void* vtable;           // 00
    std::uint32_t enabled;  // 04: 0 off, 1 on
};
static_assert(offsetof(PlayerInputHandler, enabled) == 0x04);

struct PlayerControls {
    std::uint8_t pad00[0x12C];         // 00
    PlayerInputHandler* inputHandler;  // 12C
};
static_assert(offsetof(PlayerControls, inputHandler) == 0x12C);

struct ControlState {
    std::uint8_t pad00[0x98];  // 00
    std::uint8_t scanBlocked;  // 98: nonzero while the game refuses a scan
};
static_assert(offsetof(ControlState, scanBlocked) == 0x98);

}  // namespace host

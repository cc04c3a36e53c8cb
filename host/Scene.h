#pragma once
// Scene graph nodes and points.

#include <cstddef>
#include <cstdint>

namespace host {

struct NiPoint3 {
    float x = 0, y = 0, z = 0;
};
static_assert(sizeof(NiPoint3) == 0x0C);

struct NiMatrix3 {
    float m[3][3];
};
static_assert(sizeof(NiMatrix3) == 0x24);

struct NiAVObject {
    void* vtable;               // 00
    std::uint8_t pad04[0x40];   // 04
    NiPoint3 localTranslation;  // 44: its z at 4C
    std::uint8_t pad50[0x04];   // 50
    NiMatrix3 worldRotate;      // 54
    NiPoint3 worldTranslation;  // 78
    std::uint8_t pad84[0x1C];   // 84
};
static_assert(offsetof(NiAVObject, localTranslation) == 0x44);
static_assert(offsetof(NiAVObject, localTranslation) + offsetof(NiPoint3, z) == 0x4C);
static_assert(offsetof(NiAVObject, worldRotate) == 0x54);
static_assert(offsetof(NiAVObject, worldTranslation) == 0x78);
static_assert(sizeof(NiAVObject) == 0xA0);

struct NiNode : NiAVObject {};

}  // namespace host

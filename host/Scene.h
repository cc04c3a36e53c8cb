#pragma once
// Scene graph nodes and points.

#include <cstddef>
#include <cstdint>

namespace host {

struct NiPoint3 {
    float x = 0, y = 0, z = 0;
};
static_assert(sizeof(NiPoint3) == 12);

struct NiMatrix3 {
    float m[3][3];
};
static_assert(sizeof(NiMatrix3) == 36);

struct NiAVObject {
    void* vtable;                 // 00
    std::uint8_t pad04[64];       // 04
    NiPoint3 localTranslation;    // 44
    std::uint8_t pad50[4];        // 50
    NiMatrix3 worldRotate;        // 54
    NiPoint3 worldTranslation;    // 78
    std::uint8_t pad84[28];       // 84
};
static_assert(offsetof(NiAVObject, localTranslation) + 8 == 76);
static_assert(offsetof(NiAVObject, worldRotate) == 84);
static_assert(offsetof(NiAVObject, worldTranslation) == 120);

struct NiNode : NiAVObject {};

}  // namespace host

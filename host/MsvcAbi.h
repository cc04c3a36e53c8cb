#pragma once
// What the game's compiler (Microsoft's, for x86) lays down that the plugin relies on:
// the run-time type information behind every virtual table, and the flags of a deleting
// destructor.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace host {

// The flags argument of a deleting destructor (virtual slot 0).
inline constexpr std::uint32_t kDeletingDestructorFree = 0x1;   // give the storage back
inline constexpr std::uint32_t kDeletingDestructorArray = 0x4;  // an array: the caller frees it

// Whether a deleting destructor called with `flags` frees a single object's storage.
constexpr bool DeletingDestructorFrees(std::uint32_t flags) {
    return (flags & kDeletingDestructorFree) != 0 && (flags & kDeletingDestructorArray) == 0;
}

// The word before a virtual table points to the complete-object locator.
struct MsvcTypeDescriptor {
    const void* typeInfoVtable;  // 00: type_info's own table
    void* spare;                 // 04
    char decoratedName[1];       // 08: ".?AVFreezeEventHandler@@", zero-terminated
};
static_assert(offsetof(MsvcTypeDescriptor, spare) == 0x04);
static_assert(offsetof(MsvcTypeDescriptor, decoratedName) == 0x08);

struct MsvcCompleteObjectLocator {
    std::uint32_t signature;                   // 00
    std::uint32_t offset;                      // 04
    std::uint32_t constructorOffset;           // 08
    const MsvcTypeDescriptor* typeDescriptor;  // 0C
    const void* classHierarchy;                // 10
};
static_assert(offsetof(MsvcCompleteObjectLocator, typeDescriptor) == 0x0C);
static_assert(offsetof(MsvcCompleteObjectLocator, classHierarchy) == 0x10);

inline constexpr char kNoTypeInformation[] = "<no rtti>";

// ".?AVFreezeEventHandler@@" -> "class FreezeEventHandler" (".?AU" gives "struct ...");
// empty for any other form.
std::string UndecorateTypeName(std::string_view decorated);

}  // namespace host

#pragma once
// What the plugin patches in the game's code and tables, and the records those patched
// routines work on.

#include <cstddef>
#include <cstdint>

#include "host/Forms.h"

namespace host {

// 32-bit x86 relative transfers: one opcode byte, then a displacement counted from the
// end of the 5-byte instruction.
inline constexpr std::uint8_t kOpcodeCallRelative = 0xE8;
inline constexpr std::uint8_t kOpcodeJumpRelative = 0xE9;
inline constexpr std::uintptr_t kRelativeInstructionSize = 5;

// Virtual-table entry of ReceiveEvent in every event sink.
inline constexpr std::size_t kReceiveEventSlot = 1;

// The object whose target-update entry the plugin replaces.
struct TargetUpdateObject {
    std::uint8_t pad00[32];
    ActorHandle targetHandle;  // 20
    std::uint8_t pad24[60];
    std::uint8_t targetChanged;  // 60: set to 1 when the handle changes
};
static_assert(offsetof(TargetUpdateObject, targetHandle) == 32);
static_assert(offsetof(TargetUpdateObject, targetChanged) == 96);

// The object the routine at branch site A tests.
struct BranchSiteAObject {
    std::uint8_t pad000[1833];
    std::uint8_t flags;  // 729: the host branches when kBranchAFlag is set
};
static_assert(offsetof(BranchSiteAObject, flags) == 1833);
inline constexpr std::uint8_t kBranchAFlag = 0x02;

// Microsoft x86 run-time type information, as the game's objects carry it: the word
// before a virtual table points to the complete-object locator.
struct MsvcTypeDescriptor {
    const void* typeInfoVtable;  // 00: type_info's own table
    void* spare;                 // 04
    char decoratedName[1];       // 08: ".?AVFreezeEventHandler@@", zero-terminated
};
static_assert(offsetof(MsvcTypeDescriptor, decoratedName) == 8);

struct MsvcCompleteObjectLocator {
    std::uint32_t signature;               // 00
    std::uint32_t offset;                  // 04
    std::uint32_t constructorOffset;       // 08
    const MsvcTypeDescriptor* typeDescriptor;  // 0C
    const void* classHierarchy;            // 10
};
static_assert(offsetof(MsvcCompleteObjectLocator, typeDescriptor) == 12);

inline constexpr char kNoTypeInformation[] = "<no rtti>";

}  // namespace host

#include <string>
#include <string_view>

namespace host {

// ".?AVFreezeEventHandler@@" -> "class FreezeEventHandler" (".?AU" gives "struct ...");
// empty for any other form.
std::string UndecorateTypeName(std::string_view decorated);

}  // namespace host

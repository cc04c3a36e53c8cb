#pragma once
// The records the patched game routines work on.

#include <cstddef>
#include <cstdint>

#include "host/CodeFacts.h"
#include "host/Forms.h"

namespace host {

// Virtual-table entry of ReceiveEvent in every event sink.
inline constexpr std::size_t kReceiveEventSlot = 1;

// The object whose target-update entry the plugin replaces.
struct TargetUpdateObject {
    std::uint8_t pad00[0x20];
    ActorHandle targetHandle;  // 20
    std::uint8_t pad24[0x3C];
    std::uint8_t targetChanged;  // 60: set to 1 when the handle changes
};
static_assert(offsetof(TargetUpdateObject, targetHandle) == 0x20);
static_assert(offsetof(TargetUpdateObject, targetChanged) == 0x60);

// The object the routine at branch site A tests.
struct BranchSiteAObject {
    std::uint8_t pad000[0x729];
    std::uint8_t flags;  // 729: the game branches when kBranchAFlag is set
};
static_assert(offsetof(BranchSiteAObject, flags) == HOST_BRANCH_A_FLAGS_OFFSET);
static_assert(offsetof(BranchSiteAObject, flags) == 0x729);
inline constexpr std::uint8_t kBranchAFlag = HOST_BRANCH_A_FLAG;

}  // namespace host

#pragma once
// The bad answers the real game can give, switched on by name: from simgame.exe's
// --fault option, from a scenario's "fault" line, or by a test before it builds a world.
// A world reads them when it is built; the plugin sees them from its first call.

#include <cstdint>
#include <span>
#include <string>

namespace sim {

// The patch sites whose pages can refuse every change of protection.
enum class RefusedSite : std::uint8_t { kNone, kFrameCall, kTargetUpdateSlot, kBranchA, kBranchB, kFreezeSlot };
// The code sites that can hold other instructions than the plugin knows, as another build
// of the game would: the same routine, its instruction one byte further on.
enum class StrangeSite : std::uint8_t { kNone, kFrameCall, kBranchA, kBranchB };

struct FaultSwitches {
    bool noMenuManager = false;       // the menu manager's getter finds none
    bool noScaleformManager = false;  // no movie manager: every menu stays without its movie
    bool noMovieFile = false;         // LoadMovie finds no Interface\<name>.swf
    bool heapRefuses = false;         // the game's heap refuses its next allocation
    bool allocatorRefuses = false;    // the game's allocator object refuses its next allocation
    bool noLockCueForm = false;       // LookupFormById finds nothing
    bool noUiMessageQueue = false;    // UIMessageQueue is null
    RefusedSite refusedSite = RefusedSite::kNone;
    StrangeSite strangeSite = StrangeSite::kNone;
};

// The switches the next world is built with.
FaultSwitches& Faults();

// One fault by name: what it means, and the switch it turns on (a flag or a refused site).
struct FaultDeclaration {
    const char* name;
    const char* meaning;
    bool FaultSwitches::*flag;
    RefusedSite site;
    StrangeSite strange = StrangeSite::kNone;
};
std::span<const FaultDeclaration> FaultDeclarations();  // in the order --help lists them

// Switches on the fault of that name; false for a name that is not one.
bool SwitchOnFault(const std::string& name, FaultSwitches& faults);

}  // namespace sim

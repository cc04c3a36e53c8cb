#include "sim/game/Faults.h"

namespace sim {

namespace {

constexpr FaultDeclaration kFaults[] = {
    {"no-menu-manager", "the game has no menu manager: its getter returns null", &FaultSwitches::noMenuManager,
     RefusedSite::kNone},
    {"no-scaleform", "the game has no Scaleform movie manager", &FaultSwitches::noScaleformManager, RefusedSite::kNone},
    {"no-movie", "the movie file Interface\\TarvekMenu.swf cannot be found", &FaultSwitches::noMovieFile,
     RefusedSite::kNone},
    {"heap-refuses", "the game's heap refuses its next allocation", &FaultSwitches::heapRefuses, RefusedSite::kNone},
    {"allocator-refuses", "the game's allocator object refuses its next allocation", &FaultSwitches::allocatorRefuses,
     RefusedSite::kNone},
    {"no-lock-cue", "LookupFormById finds no form", &FaultSwitches::noLockCueForm, RefusedSite::kNone},
    {"no-ui-queue", "the game has no UI message queue", &FaultSwitches::noUiMessageQueue, RefusedSite::kNone},
    {"protect-frame-call", "the per-frame call site's pages refuse a change of protection", nullptr,
     RefusedSite::kFrameCall},
    {"protect-target-slot", "the target-update table entry's page refuses a change of protection", nullptr,
     RefusedSite::kTargetUpdateSlot},
    {"protect-branch-a", "branch site A's page refuses a change of protection", nullptr, RefusedSite::kBranchA},
    {"protect-branch-b", "branch site B's page refuses a change of protection", nullptr, RefusedSite::kBranchB},
    {"protect-freeze-slot", "the FreezeEventHandler table's page refuses a change of protection", nullptr,
     RefusedSite::kFreezeSlot},
    {"strange-frame-call", "the per-frame call site holds other code (another build of the game)", nullptr,
     RefusedSite::kNone, StrangeSite::kFrameCall},
    {"strange-branch-a", "branch site A holds other code (another build of the game)", nullptr, RefusedSite::kNone,
     StrangeSite::kBranchA},
    {"strange-branch-b", "branch site B holds other code (another build of the game)", nullptr, RefusedSite::kNone,
     StrangeSite::kBranchB},
};

}  // namespace

FaultSwitches& Faults() {
    static FaultSwitches faults;
    return faults;
}

std::span<const FaultDeclaration> FaultDeclarations() { return kFaults; }

bool SwitchOnFault(const std::string& name, FaultSwitches& faults) {
    for (const FaultDeclaration& fault : kFaults) {
        if (name != fault.name) continue;
        if (fault.flag) faults.*fault.flag = true;
        if (fault.site != RefusedSite::kNone) faults.refusedSite = fault.site;
        if (fault.strange != StrangeSite::kNone) faults.strangeSite = fault.strange;
        return true;
    }
    return false;
}

}  // namespace sim

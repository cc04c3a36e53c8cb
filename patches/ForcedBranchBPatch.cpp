#include "patches/ForcedBranchBPatch.h"

#include "host/Host.h"

extern "C" {
CodeAddress ForcedBranchBTakenAddress = 0;
CodeAddress ForcedBranchBFallThroughAddress = 0;
}

bool ForcedBranchBPatch::Install() {
    const host::HostTable* t = host::Table();
    if (t == nullptr || t->ForcedBranchBTaken == 0 || t->ForcedBranchBFallThrough == 0) return false;
    if (!SiteHolds(t->ForcedBranchSiteB, host::kBranchSiteBBytes)) return false;
    // Both are known before the jump can reach the replacement.
    ForcedBranchBTakenAddress = t->ForcedBranchBTaken;
    ForcedBranchBFallThroughAddress = t->ForcedBranchBFallThrough;
    return WriteRelativeJump(t->ForcedBranchSiteB, AddressOf(&ForcedBranchB), host::kBranchSiteBBytes).has_value();
}

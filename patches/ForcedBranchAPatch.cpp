#include "patches/ForcedBranchAPatch.h"

#include "host/Host.h"

extern "C" {
CodeAddress ForcedBranchATakenAddress = 0;
CodeAddress ForcedBranchAFallThroughAddress = 0;
}

bool ForcedBranchAPatch::Install() {
    const host::HostTable* t = host::Table();
    if (t == nullptr || t->ForcedBranchATaken == 0 || t->ForcedBranchAFallThrough == 0) return false;
    if (!SiteHolds(t->ForcedBranchSiteA, host::kBranchSiteABytes)) return false;
    // Both are known before the jump can reach the replacement.
    ForcedBranchATakenAddress = t->ForcedBranchATaken;
    ForcedBranchAFallThroughAddress = t->ForcedBranchAFallThrough;
    return WriteRelativeJump(t->ForcedBranchSiteA, AddressOf(&ForcedBranchA), host::kBranchSiteABytes).has_value();
}

#pragma once
// Branch site B: the game branches when the flags it set just before say "not equal";
// the replacement also branches whenever a target is locked.

#include "patches/CodeWriter.h"

extern "C" {
// Where the replacement continues, from the host table at install time.
extern CodeAddress ForcedBranchBTakenAddress;
extern CodeAddress ForcedBranchBFallThroughAddress;
void ForcedBranchB();  // ForcedBranchBPatch.S: reached only by the jump at the site
}

struct ForcedBranchBPatch {
    // False, and the site as it was, without both places to continue, when the site is not
    // the code this plugin knows, or when its pages refuse to be written.
    static bool Install();
};

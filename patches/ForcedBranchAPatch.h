#pragma once
// Branch site A: the game tests a flag of the object in ECX and branches when it is set;
// the replacement also branches whenever a target is locked.

#include "patches/CodeWriter.h"

extern "C" {
// Where the replacement continues, from the host table at install time.
extern CodeAddress ForcedBranchATakenAddress;
extern CodeAddress ForcedBranchAFallThroughAddress;
void ForcedBranchA();  // ForcedBranchAPatch.S: reached only by the jump at the site
}

struct ForcedBranchAPatch {
    // False, and the site as it was, without both places to continue, when the site is not
    // the code this plugin knows, or when its pages refuse to be written.
    static bool Install();
};

#pragma once
// The candidate scan by crowd size, the sort alone, the lock and switch commands, and
// the aim-point lookups they and the update make per actor.

namespace bench {

void RegisterTargetingBenchmarks();

}  // namespace bench

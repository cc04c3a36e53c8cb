#pragma once
// The counters every benchmark here reports beside its time.

#include <benchmark/benchmark.h>

#include <cstddef>

#include "support/AllocationCounter.h"

namespace bench {

// Heap allocations per iteration, counted on the C++ allocator.
inline void ReportAllocations(benchmark::State& state, const test::AllocationCounter& counter) {
    state.counters["allocs"] =
        benchmark::Counter(static_cast<double>(counter.Count()), benchmark::Counter::kAvgIterations);
}

// Time per actor of an iteration over `actors` actors.
inline void ReportPerActor(benchmark::State& state, std::size_t actors) {
    state.counters["per_actor"] = benchmark::Counter(
        static_cast<double>(actors), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace bench

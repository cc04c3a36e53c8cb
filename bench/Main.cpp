// The benchmarks of the per-frame update, the scan and the commands, against the
// stand-in game. Run by ./run bench; timings never decide a test.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "TargetingBench.h"
#include "TrackingBench.h"
#include "sim/game/Misuse.h"
#include "sim/game/World.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;

    // The floor must give the update's own results, bit for bit, or its time means nothing.
    if (const std::string differs = bench::CheckFloorMatchesUpdate(); !differs.empty()) {
        std::fprintf(stderr, "FAILED: the floor does not match the update\n%s", differs.c_str());
        return 1;
    }
    bench::RegisterTrackingBenchmarks();
    bench::RegisterTargetingBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    sim::DestroyWorld();
    int failures = 0;
    for (const std::string& misuse : sim::TakeMisuses()) {
        std::fprintf(stderr, "FAILED: the stand-in game caught: %s\n", misuse.c_str());
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}

// Fix estimation for 1 000 bearings (and for a typical handful), well under the time of
// one map redraw.
#include "../../tests/geo/SyntheticNetwork.h"
#include "geo/FixEstimate.h"

#include <benchmark/benchmark.h>

namespace {

void BM_EstimateFix(benchmark::State& state) {
    synthetic::TRandom random(1000);
    const synthetic::TNetwork net = synthetic::RandomNetwork(random, int(state.range(0)), 1, 3);
    const std::vector<TFixBearing> bearings = synthetic::Measured(net, random);
    for (auto _ : state) {
        TFixEstimate fix = EstimateFix(bearings);
        benchmark::DoNotOptimize(fix);
        if (!fix.IsFix())
            state.SkipWithError("no fix");
    }
}
BENCHMARK(BM_EstimateFix)->Arg(8)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

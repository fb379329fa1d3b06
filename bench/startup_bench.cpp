// Wall time from starting the player to its "READYOK" for an ISREADY sent at
// once: the motion tables are built before the first command is read.
#include <benchmark/benchmark.h>

#include <chrono>

#include "support.h"

static void BM_StartupToReady(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        KelvoTest::Child child = KelvoTest::spawn(KELVO_BIN);
        KelvoTest::writeAll(child.in, "ISREADY\n");
        const std::string reply = KelvoTest::readFor(child.out, 10000, 7);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        KelvoTest::finish(child);
        if (reply != "READYOK") {
            state.SkipWithError("no READYOK");
            break;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_StartupToReady)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

BENCHMARK_MAIN();

// Wall time from starting the player to its "READYOK" for an ISREADY sent at
// once: the tables of its ice are built before the first command is read.
// BM_StartupToReady is the classic ice, BM_StartupToReadyFcv1 the fcv1 ice.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "support.h"

static void startupToReady(benchmark::State& state, const std::vector<std::string>& args) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        KelvoTest::Child child = KelvoTest::spawn(KELVO_BIN, args);
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
static void BM_StartupToReady(benchmark::State& state) { startupToReady(state, {}); }
static void BM_StartupToReadyFcv1(benchmark::State& state) { startupToReady(state, {"--ice", "fcv1"}); }
BENCHMARK(BM_StartupToReady)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_StartupToReadyFcv1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

BENCHMARK_MAIN();

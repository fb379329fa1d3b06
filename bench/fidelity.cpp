// How closely the fast simulation follows the exact one, and what it saves.
//
// The fixed suite of tests/fidelity_suite.h, each shot simulated from the
// same board by the fast simulation (the way the search does it) and by the
// exact whole-shot simulation, at the player's own step EXACT_DT and at the
// converged step REFERENCE_DT that judges the game. Per category it prints the
// rest-position differences of the stones that moved in either simulation,
// the share of shots whose set of stones in play differs, and the mean time
// per shot of each simulator; the last line sums up fast against the
// reference. With --halving [N] it prints instead, for N halvings of the
// step from EXACT_DT, the exact simulation against itself at half the step:
// how REFERENCE_DT was chosen. With -v, every shot and both outcomes. With
// --fast-digest only the fast simulation runs, and it prints a hash of the
// bits of every stone it leaves on the sheet: equal hashes show that a
// change to the fast simulation left its results exactly as they were.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "fcv1fidelity.h"
#include "fidelity_suite.h"
#include "kelvosim/classic/fastsimulator.h"
#include "kelvosim/board/thinkboard.h"

using namespace Kelvo;
using namespace Kelvo::Fidelity;

namespace {

// Each fast shot is run this many more times to time it.
constexpr int FAST_REPS = 200;

void printTable(const std::vector<Tally>& tallies, const char* nameA, const char* nameB) {
    std::printf("%-8s %6s %7s %10s %10s %10s %9s %11s %12s\n", "category", "shots", "stones", "median_m", "p95_m",
                "max_m", "mismatch", (std::string(nameA) + "_us").c_str(), (std::string(nameB) + "_us").c_str());
    for (const Tally& t : tallies)
        std::printf("%-8s %6d %7zu %10.4f %10.4f %10.4f %9.3f %11.2f %12.1f\n", t.name.c_str(), t.shots,
                    t.errors.size(), quantile(t.errors, 0.5), quantile(t.errors, 0.95), quantile(t.errors, 1.0),
                    double(t.mismatches) / t.shots, 1e6 * t.secondsA / t.shots, 1e6 * t.secondsB / t.shots);
}

// The exact simulation against itself at half the step, step after step:
// where rest positions stop moving, the step has converged.
void printHalving(const std::vector<Shot>& suite, int halvings) {
    double dt = EXACT_DT;
    Outcomes coarse = runExact(suite, dt);
    for (int h = 0; h < halvings; ++h) {
        const Outcomes fine = runExact(suite, dt / 2);
        std::printf("step %.8f against %.8f\n", dt, dt / 2);
        printTable(tally(suite, coarse, fine), "coarse", "fine");
        coarse = fine;
        dt /= 2;
    }
}

}  // namespace

// With -v, one line per shot and its outcomes.
void printShot(size_t index, const Shot& shot, const ThinkBoard& fast, const ThinkBoard& reference) {
    std::printf("#%zu %s shot (%.4f, %.4f, %d)\n", index, shot.category.c_str(), shot.move.x, shot.move.y,
                shot.move.spin);
    for (const auto& [name, board] : {std::pair{"before", &shot.board}, std::pair{"fast", &fast},
                                      std::pair{"ref", &reference}}) {
        std::printf("   %-6s", name);
        for (int c = 0; c < 2; ++c)
            for (int j = 0; j < board->count[c]; ++j)
                std::printf(" %c(%.3f, %.3f)", c ? 'W' : 'B', board->stones[c][j].x, board->stones[c][j].y);
        std::printf("\n");
    }
}

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "--ice") {
        const std::string ice = argv[2];
        if (ice == "fcv1")
            return fcv1FidelityMain(argc - 3, argv + 3);
        if (ice != "classic") {
            std::fprintf(stderr, "kelvo-fidelity: unknown ice %s (classic or fcv1)\n", ice.c_str());
            return 2;
        }
        argv[2] = argv[0];
        argc -= 2;
        argv += 2;
    }
    const std::string mode = argc > 1 ? argv[1] : "";
    const std::vector<Shot> suite = buildSuite();
    if (mode == "--halving") {
        printHalving(suite, argc > 2 ? std::atoi(argv[2]) : 6);
        return 0;
    }

    const Outcomes fast = runFast(suite, FAST_REPS);
    if (mode == "--fast-digest") {
        std::printf("fast-digest: shots=%zu hash=%016llx\n", suite.size(), (unsigned long long)digest(fast));
        return 0;
    }
    const Outcomes coarse = runExact(suite, EXACT_DT);
    const Outcomes reference = runExact(suite, REFERENCE_DT);
    if (mode == "-v")
        for (size_t s = 0; s < suite.size(); ++s)
            printShot(s, suite[s], fast.after[s], reference.after[s]);

    std::printf("fast against the exact simulation at the player's step %g\n", EXACT_DT);
    printTable(tally(suite, fast, coarse), "fast", "exact");
    std::printf("fast against the reference: the exact simulation at step %g\n", REFERENCE_DT);
    const std::vector<Tally> primary = tally(suite, fast, reference);
    printTable(primary, "fast", "ref");
    const Tally& all = primary.back();
    std::printf("fidelity: median_err=%.4f p95_err=%.4f outcome_mismatch=%.3f speedup=%.1f ref_step=%g\n",
                quantile(all.errors, 0.5), quantile(all.errors, 0.95), double(all.mismatches) / all.shots,
                all.secondsB / all.secondsA, REFERENCE_DT);
    return 0;
}

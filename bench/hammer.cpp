// Search quality before the last stone of an end: for each position of a
// data file it runs a real move decision (four instances, full budget) and
// scores, under the player's own objective and noise model, the answer, the
// best of the player's own candidates and the best shot of a dense grid.
//
// With the last stone the end is over once the shot has come to rest, so a
// shot's expected value is exact given the noise draws: the mean of the
// end's value over the draws. Everything compared is scored on one fixed
// set of draws (common random numbers). Picking a best among many shots on
// the draws that also score it would favour lucky shots, so the best
// candidate and the grid's best are chosen on a second, independent set and
// only scored on the shared one.
//
// Usage: kelvo-bench-hammer [POSITIONS_FILE] [search options]
// (default bench/hammer_positions.txt; the player's search options set the
// decision's search)
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "engine.h"
#include "gridsearch.h"
#include "kelvosim/classic/fastsimulator.h"
#include "kelvosim/classic/noise.h"
#include "options.h"
#include "positions.h"
#include "shotgrid.h"

using namespace Kelvo;

namespace {

constexpr int SCORING_DRAWS = 512;
constexpr uint32_t SCORING_SEED = 20261209;
constexpr uint32_t SELECTION_SEED = 777;

// The grid is the last stone's grid of the widened search: speeds spaced
// evenly in reach over the draw weights and evenly in speed over the hit
// weights, 101 headings, both spins. Its best cells are refined on a local
// grid of (2 * 3 + 1)^2 points at a third of the grid's own spacing, and the
// best refined shots valued again on every selection draw.
constexpr KelvoBench::GridRefinement GRID{LAST_STONE_GRID, 32, 12, 3, 0.0, 128, 6, SCORING_DRAWS};

struct NoiseDraws {
    std::vector<double> dx, dy;
};

NoiseDraws makeDraws(uint32_t seed, int n) {
    dsfmt_t rng;
    dsfmt_init_gen_rand(&rng, seed);
    NoiseDraws d;
    d.dx.resize(n);
    d.dy.resize(n);
    for (int k = 0; k < n; ++k)
        sampleNoise(rng, d.dx[k], d.dy[k]);
    return d;
}

// The mean end value of the shot (board frame) over the first n draws.
double expectedValue(const ThinkBoard& root, const Candidate& shot, const NoiseDraws& draws, int n,
                     Strategy strategy) {
    double sum = 0;
    for (int k = 0; k < n; ++k) {
        ThinkBoard board = root;
        Candidate s{shot.x + draws.dx[k], shot.y + draws.dy[k], shot.spin};
        applyShot(board, simulateShot(board, s));
        sum += evaluateEnd(board, strategy);
    }
    return sum / n;
}

// The player's candidate with the best mean on the selection draws.
Candidate bestCandidate(const SearchRoot& root, const NoiseDraws& selection) {
    double top = -1e9;
    int index = 0;
    for (int i = 0; i < root.count; ++i) {
        const double v = expectedValue(root.board, root.candidates[i], selection, SCORING_DRAWS, root.strategies.own);
        if (v > top) {
            top = v;
            index = i;
        }
    }
    return root.candidates[index];
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("kelvo-bench-hammer");
    std::string path = KELVO_SOURCE_DIR "/bench/hammer_positions.txt";
    SearchSettings settings;
    app.add_option("positions", path, "positions file");
    addSearchOptions(app, settings);
    if (const int status = parseToolOptions(app, argc, argv); status >= 0)
        return status;
    KelvoBench::requireClassicIce("kelvo-bench-hammer", settings);
    const std::vector<KelvoBench::BenchPosition> positions =
        KelvoBench::readPositions("kelvo-bench-hammer", path, 15, 15, 15);
    Engine engine(settings);
    const NoiseDraws scoring = makeDraws(SCORING_SEED, SCORING_DRAWS);
    const NoiseDraws selection = makeDraws(SELECTION_SEED, SCORING_DRAWS);
    std::printf("hammer: %zu positions from %s; %d scoring draws; grid %zu speeds x %d headings x 2 spins, "
                "refined around its best %d cells\n",
                positions.size(), path.c_str(), SCORING_DRAWS, gridSpeeds(GRID.grid).size(), GRID.grid.headings,
                GRID.refinedCells);
    std::printf("%-26s %-15s %5s %8s %8s %8s %8s %8s\n", "position", "strategy", "cands", "answer", "best_cand",
                "grid", "search", "coverage");

    double sumAnswer = 0, sumCandidate = 0, sumGrid = 0;
    for (const KelvoBench::BenchPosition& p : positions) {
        ThinkBoard kept;
        kept.sim = &engine.simulation();
        const SearchRoot root = prepareRoot(p.state, kept);
        const Strategy strategy = root.strategies.own;

        const Candidate answer = KelvoBench::answerShot("kelvo-bench-hammer", engine.decide(p.state).answer);
        const Candidate candidate = bestCandidate(root, selection);
        const Candidate grid = KelvoBench::bestGridShot(GRID, [&](const std::vector<Candidate>& shots, int draws) {
            std::vector<double> values;
            for (const Candidate& shot : shots)
                values.push_back(expectedValue(root.board, shot, selection, draws, strategy));
            return values;
        });

        const double vAnswer = expectedValue(root.board, answer, scoring, SCORING_DRAWS, strategy);
        const double vCandidate = expectedValue(root.board, candidate, scoring, SCORING_DRAWS, strategy);
        const double vGrid = expectedValue(root.board, grid, scoring, SCORING_DRAWS, strategy);
        std::printf("%-26s %-15s %5d %8.3f %8.3f %8.3f %8.3f %8.3f\n", p.name.c_str(), STRATEGY_NAMES[strategy],
                    root.count, vAnswer, vCandidate, vGrid, vCandidate - vAnswer, vGrid - vCandidate);
        std::fflush(stdout);
        sumAnswer += vAnswer;
        sumCandidate += vCandidate;
        sumGrid += vGrid;
    }
    const double n = positions.empty() ? 1 : double(positions.size());
    std::printf("hammer: positions=%zu answer=%.4f best_candidate=%.4f grid_best=%.4f search_regret=%.4f "
                "coverage_regret=%.4f\n",
                positions.size(), sumAnswer / n, sumCandidate / n, sumGrid / n, (sumCandidate - sumAnswer) / n,
                (sumGrid - sumCandidate) / n);
    return 0;
}

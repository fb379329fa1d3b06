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
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "decision.h"
#include "kelvosim/fastsimulator.h"
#include "options.h"
#include "positions.h"
#include "search.h"
#include "shotgrid.h"

using namespace Kelvo;

namespace {

constexpr int SCORING_DRAWS = 512;
constexpr uint32_t SCORING_SEED = 20261209;
constexpr uint32_t SELECTION_SEED = 777;

// The grid is the last stone's grid of the widened search: speeds spaced
// evenly in reach over the draw weights and evenly in speed over the hit
// weights, 101 headings, both spins.
constexpr int COARSE_DRAWS = 32;
// Refinement: a finer local grid around the best coarse cells, then the
// best refined shots on more draws.
constexpr int REFINED_CELLS = 12;
constexpr int REFINE_HALF = 3;  // local grid of (2 * 3 + 1)^2 points at a third of the spacing
constexpr int REFINE_DRAWS = 128;
constexpr int FINALISTS = 6;

struct NoiseDraws {
    std::vector<double> dx, dy;
};

struct ScoredShot {
    Candidate shot;
    double value = -1e9;
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
                     int32_t strategy) {
    double sum = 0;
    for (int k = 0; k < n; ++k) {
        ThinkBoard board = root;
        Candidate s{shot.x + draws.dx[k], shot.y + draws.dy[k], shot.spin};
        applyShot(board, simulateShot(board, s));
        sum += evaluateEnd(board, strategy);
    }
    return sum / n;
}

struct Cell {
    int speed, heading;
    int32_t spin;
    double value;
};

// The best grid shot, chosen on the selection draws.
Candidate bestGridShot(const ThinkBoard& root, int32_t strategy, const NoiseDraws& selection) {
    const GridSpec& grid = lastStoneGrid();
    static const std::vector<double> speeds = gridSpeeds(grid);
    const double step = headingStep(grid);
    auto heading = [&](int h) { return -grid.headingMax + h * step; };

    std::vector<Cell> cells;
    for (int32_t spin = 0; spin <= 1; ++spin)
        for (int v = 0; v < int(speeds.size()); ++v)
            for (int h = 0; h < grid.headings; ++h)
                cells.push_back(Cell{v, h, spin,
                                     expectedValue(root, shotAt(speeds[v], heading(h), spin), selection,
                                                   COARSE_DRAWS, strategy)});
    std::partial_sort(cells.begin(), cells.begin() + REFINED_CELLS, cells.end(),
                      [](const Cell& a, const Cell& b) { return a.value > b.value; });

    std::vector<ScoredShot> refined;
    for (int c = 0; c < REFINED_CELLS; ++c) {
        const Cell& cell = cells[c];
        const double speedStep =
            (speeds[std::min(cell.speed + 1, int(speeds.size()) - 1)] - speeds[std::max(cell.speed - 1, 0)]) / 2;
        for (int i = -REFINE_HALF; i <= REFINE_HALF; ++i)
            for (int j = -REFINE_HALF; j <= REFINE_HALF; ++j) {
                const double speed = std::min(speeds[cell.speed] + i * speedStep / 3, V_MAX);
                const Candidate shot = shotAt(speed, heading(cell.heading) + j * step / 3, cell.spin);
                refined.push_back(ScoredShot{shot, expectedValue(root, shot, selection, REFINE_DRAWS, strategy)});
            }
    }
    std::partial_sort(refined.begin(), refined.begin() + FINALISTS, refined.end(),
                      [](const ScoredShot& a, const ScoredShot& b) { return a.value > b.value; });
    ScoredShot best;
    for (int f = 0; f < FINALISTS; ++f) {
        const double v = expectedValue(root, refined[f].shot, selection, SCORING_DRAWS, strategy);
        if (v > best.value)
            best = ScoredShot{refined[f].shot, v};
    }
    return best.shot;
}

// The player's candidate with the best mean on the selection draws.
Candidate bestCandidate(const ThinkBoard& root, const Candidate* candidates, int32_t count, int32_t strategy,
                        const NoiseDraws& selection, int& index) {
    double top = -1e9;
    index = 0;
    for (int i = 0; i < count; ++i) {
        const double v = expectedValue(root, candidates[i], selection, SCORING_DRAWS, strategy);
        if (v > top) {
            top = v;
            index = i;
        }
    }
    return candidates[index];
}

// The player's answer in the board frame.

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("kelvo-bench-hammer");
    std::string path = KELVO_SOURCE_DIR "/bench/hammer_positions.txt";
    SearchSettings settings;
    app.add_option("positions", path, "positions file");
    addSearchOptions(app, settings);
    if (const int status = parseToolOptions(app, argc, argv); status >= 0)
        return status;
    const std::vector<KelvoBench::BenchPosition> positions =
        KelvoBench::readPositions("kelvo-bench-hammer", path, 15, 15, 15);
    buildMotionTables();
    const NoiseDraws scoring = makeDraws(SCORING_SEED, SCORING_DRAWS);
    const NoiseDraws selection = makeDraws(SELECTION_SEED, SCORING_DRAWS);
    std::printf("hammer: %zu positions from %s; %d scoring draws; grid %zu speeds x %d headings x 2 spins, "
                "refined around its best %d cells\n",
                positions.size(), path.c_str(), SCORING_DRAWS, gridSpeeds(lastStoneGrid()).size(), lastStoneGrid().headings,
                REFINED_CELLS);
    std::printf("%-26s %-15s %5s %8s %8s %8s %8s %8s\n", "position", "strategy", "cands", "answer", "best_cand",
                "grid", "search", "coverage");

    double sumAnswer = 0, sumCandidate = 0, sumGrid = 0;
    for (const KelvoBench::BenchPosition& p : positions) {
        ThinkBoard root;
        buildFromGameState(root, p.state);
        const int32_t strategy = selectStrategies(root, true).own;
        Candidate candidates[MAX_CANDIDATES];
        const int32_t count = generateCandidates(root, candidates, strategy);

        const Candidate answer = KelvoBench::answerShot("kelvo-bench-hammer", decide(p.state, settings));
        int index = 0;
        const Candidate candidate = bestCandidate(root, candidates, count, strategy, selection, index);
        const Candidate grid = bestGridShot(root, strategy, selection);

        const double vAnswer = expectedValue(root, answer, scoring, SCORING_DRAWS, strategy);
        const double vCandidate = expectedValue(root, candidate, scoring, SCORING_DRAWS, strategy);
        const double vGrid = expectedValue(root, grid, scoring, SCORING_DRAWS, strategy);
        std::printf("%-26s %-15s %5d %8.3f %8.3f %8.3f %8.3f %8.3f\n", p.name.c_str(), STRATEGY_NAMES[strategy],
                    count, vAnswer, vCandidate, vGrid, vCandidate - vAnswer, vGrid - vCandidate);
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

// Search quality in the middle of an end (shots 4 to 14): for each position
// of a data file it runs the real move decision under the search options
// of the command line and scores, under the player's own objective, noise
// model and playouts, the answer, the best of the player's own candidates
// and the best shot of a grid over launch speed, heading and spin.
//
// A shot's value is the mean, over a set of draws, of the end's value after
// the shot is executed with the draw's noise and the end is played out once
// with the draw's playout streams (common random numbers: every shot meets
// the same luck). The best candidate and the grid's best are chosen on a
// selection set of draws and scored, like the answer, on an independent
// scoring set, so a shot that was merely lucky in the choice is not
// rewarded for it.
//
// With --variance it measures instead what the number of playouts per
// noisy execution should be: for a few candidates of each position, the
// spread of the value between executions (sigma_b) and between the
// playouts of one execution (sigma_w), and the cost of an execution
// (c_exec) and of a playout (c_playout). The standard error of a candidate's
// mean at a fixed time is smallest with
//   m* = sqrt(c_exec sigma_w^2 / (c_playout sigma_b^2))
// playouts per execution.
//
// Usage: kelvo-bench-midend [POSITIONS_FILE] [--runs N] [--cache FILE] [--variance] [search options]
// (default bench/midend_positions.txt)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "engine.h"
#include "gridsearch.h"
#include "kelvosim/classic/fastsimulator.h"
#include "options.h"
#include "positions.h"
#include "shotgrid.h"

using namespace Kelvo;

namespace {

constexpr uint32_t SCORING_SEED = 20261209;
constexpr uint32_t SELECTION_SEED = 4242;
constexpr int SCORING_DRAWS = 2048;
constexpr int SELECTION_DRAWS = 512;
// The benchmark's grid, finer than the search's own: guards 6 m short of the
// tee to taps 2.5 m past it every 0.25 m of reach, 12 takeout weights,
// headings every 0.005 rad. Its 12 best cells on 24 draws are refined on a
// local grid of (2 * 3 + 1)^2 points, about a reach step (0.3 in speed) and
// a heading step across, the 6 best of those on 96 draws valued again on
// every selection draw.
constexpr KelvoBench::GridRefinement GRID{
    GridSpec{TEE_TO_THROW - 6.0, TEE_TO_THROW + 2.5, 0.25, 12, 0.1, 41}, 24, 12, 3, 0.3, 96, 6, SELECTION_DRAWS};

using Root = SearchRoot;

// The mean value of the shot over draws first .. first + n - 1 of the set.
double shotValue(const Root& root, const Candidate& shot, uint32_t seed, int first, int n) {
    double sum = 0;
    for (int k = first; k < first + n; ++k) {
        dsfmt_t noise;
        dsfmt_init_gen_rand(&noise, seed + 7919u * uint32_t(k));
        PlayoutRandom random(seed ^ (0x9e3779b9u * uint32_t(k + 1)), seed + uint32_t(k));
        ThinkBoard board = executeCandidate(root.board, shot, noise);
        sum += playout(board, root.mover, root.strategies, random);
    }
    return sum / n;
}

// The values of many shots on the same draws, on two threads.
std::vector<double> shotValues(const Root& root, const std::vector<Candidate>& shots, uint32_t seed, int n) {
    std::vector<double> values(shots.size());
    auto part = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            values[i] = shotValue(root, shots[i], seed, 0, n);
    };
    const size_t half = shots.size() / 2;
    std::future<void> other = std::async(std::launch::async, part, 0, half);
    part(half, shots.size());
    other.get();
    return values;
}

size_t bestOf(const std::vector<double>& values) {
    return size_t(std::max_element(values.begin(), values.end()) - values.begin());
}

Root rootOf(const Engine& engine, const _GAMESTATE& state) {
    ThinkBoard kept;
    kept.sim = &engine.simulation();
    return prepareRoot(state, kept);
}

// The grid's best shot, chosen on the selection draws.
Candidate bestGridShot(const Root& root) {
    return KelvoBench::bestGridShot(
        GRID, [&](const std::vector<Candidate>& shots, int draws) { return shotValues(root, shots, SELECTION_SEED, draws); });
}

// The scored values of a position's best candidate and grid shot. They do
// not depend on the search options, so a cache file keeps them between runs.
struct Reference {
    int32_t count = 0;
    double candidate = 0, grid = 0;
};

std::map<std::string, Reference> readCache(const std::string& path) {
    std::map<std::string, Reference> cache;
    std::ifstream in(path);
    std::string name;
    Reference r;
    while (in >> name >> r.count >> r.candidate >> r.grid)
        cache[name] = r;
    return cache;
}

Reference reference(const Root& root) {
    Reference r;
    r.count = root.count;
    const std::vector<Candidate> listed(root.candidates, root.candidates + r.count);
    const Candidate candidate = listed[bestOf(shotValues(root, listed, SELECTION_SEED, SELECTION_DRAWS))];
    r.candidate = shotValue(root, candidate, SCORING_SEED, 0, SCORING_DRAWS);
    // The grid's best is at least the best candidate: the search may always
    // throw that.
    r.grid = std::max(shotValue(root, bestGridShot(root), SCORING_SEED, 0, SCORING_DRAWS), r.candidate);
    return r;
}

int quality(const std::vector<KelvoBench::BenchPosition>& positions, Engine& engine, int runs,
            const std::string& cachePath) {
    std::map<std::string, Reference> cache = cachePath.empty() ? std::map<std::string, Reference>{} : readCache(cachePath);
    std::printf("%-34s %-15s %5s %8s %8s %8s %8s %8s\n", "position", "strategy", "cands", "answer", "best_cand",
                "grid", "search", "coverage");
    double sumAnswer = 0, sumCandidate = 0, sumGrid = 0;
    for (const KelvoBench::BenchPosition& p : positions) {
        const Root root = rootOf(engine, p.state);
        const std::string key = p.name + "/" + std::to_string(SCORING_DRAWS);
        if (!cache.count(key)) {
            cache[key] = reference(root);
            if (!cachePath.empty()) {
                std::ofstream out(cachePath, std::ios::app);
                out.precision(17);
                out << key << ' ' << cache[key].count << ' ' << cache[key].candidate << ' ' << cache[key].grid << '\n';
            }
        }
        const Reference& ref = cache[key];
        const int32_t count = ref.count;
        double vAnswer = 0;
        for (int r = 0; r < runs; ++r)
            vAnswer += shotValue(root, KelvoBench::answerShot("kelvo-bench-midend", engine.decide(p.state).answer),
                                 SCORING_SEED, 0, SCORING_DRAWS);
        vAnswer /= runs;
        const double vCandidate = ref.candidate;
        const double vGrid = ref.grid;
        std::printf("%-34s %-15s %5d %8.3f %8.3f %8.3f %8.3f %8.3f\n", p.name.c_str(),
                    STRATEGY_NAMES[root.strategies.own], count, vAnswer, vCandidate, vGrid, vCandidate - vAnswer,
                    vGrid - vCandidate);
        std::fflush(stdout);
        sumAnswer += vAnswer;
        sumCandidate += vCandidate;
        sumGrid += vGrid;
    }
    const double n = double(positions.size());
    std::printf("midend: positions=%zu answer=%.4f best_candidate=%.4f grid_best=%.4f search_regret=%.4f "
                "coverage_regret=%.4f\n",
                positions.size(), sumAnswer / n, sumCandidate / n, sumGrid / n, (sumCandidate - sumAnswer) / n,
                (sumGrid - sumCandidate) / n);
    return 0;
}

// ---------------------------------------------------------------------------
// Playouts per execution

constexpr int VARIANCE_CANDIDATES = 6;
constexpr int VARIANCE_EXECUTIONS = 24;
constexpr int VARIANCE_PLAYOUTS = 48;
constexpr int SHORT_PLAYOUTS = 4;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int variance(const std::vector<KelvoBench::BenchPosition>& positions, const Engine& engine) {
    using Clock = std::chrono::steady_clock;
    std::printf("%-34s %8s %8s %10s %10s %6s\n", "position", "sigma_b", "sigma_w", "c_exec_us", "c_play_us", "m*");
    std::vector<double> best;
    const VisitCachePtr cache = makeVisitCache();
    PlayoutRandom random(1234, 5678);
    dsfmt_t noise;
    dsfmt_init_gen_rand(&noise, 99);
    for (const KelvoBench::BenchPosition& p : positions) {
        const Root root = rootOf(engine, p.state);
        const Candidate* candidates = root.candidates;
        const int32_t count = root.count;
        double within = 0, between = 0, shortSeconds = 0, longSeconds = 0;
        int measured = 0;
        for (int c = 0; c < VARIANCE_CANDIDATES && c < count; ++c) {
            const Candidate& shot = candidates[c * count / std::min(count, VARIANCE_CANDIDATES)];
            std::vector<double> means;
            double withinSum = 0;
            for (int e = 0; e < VARIANCE_EXECUTIONS; ++e) {
                const Clock::time_point t0 = Clock::now();
                startVisit(*cache, executeCandidate(root.board, shot, noise), root.mover, root.strategies);
                double sum = 0, sum2 = 0;
                for (int k = 0; k < VARIANCE_PLAYOUTS; ++k) {
                    const double v = playoutFromVisit(*cache, random);
                    sum += v;
                    sum2 += v * v;
                }
                longSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
                const double mean = sum / VARIANCE_PLAYOUTS;
                withinSum += (sum2 - VARIANCE_PLAYOUTS * mean * mean) / (VARIANCE_PLAYOUTS - 1);
                means.push_back(mean);
                // The same shot in short visits, for the cost of a visit at
                // another number of playouts.
                const Clock::time_point t1 = Clock::now();
                startVisit(*cache, executeCandidate(root.board, shot, noise), root.mover, root.strategies);
                for (int k = 0; k < SHORT_PLAYOUTS; ++k)
                    playoutFromVisit(*cache, random);
                shortSeconds += std::chrono::duration<double>(Clock::now() - t1).count();
            }
            double grand = 0, spread = 0;
            for (double m : means)
                grand += m;
            grand /= means.size();
            for (double m : means)
                spread += (m - grand) * (m - grand);
            spread /= means.size() - 1;
            const double w = withinSum / VARIANCE_EXECUTIONS;
            within += w;
            // The spread of execution means holds sigma_w^2 / m of playout noise.
            between += std::max(spread - w / VARIANCE_PLAYOUTS, 0.0);
            ++measured;
        }
        within /= measured;
        between /= measured;
        // A visit costs c_exec + m c_playout; two visit lengths give both.
        // The execution's share holds what the visit cache's first playouts
        // spend on the opponent's replies.
        const double visits = double(measured) * VARIANCE_EXECUTIONS;
        const double cPlay = (longSeconds - shortSeconds) / visits / (VARIANCE_PLAYOUTS - SHORT_PLAYOUTS);
        const double cExec = std::max(shortSeconds / visits - SHORT_PLAYOUTS * cPlay, 0.0);
        const double mStar = between > 0 && cPlay > 0 ? std::sqrt(cExec * within / (cPlay * between)) : 1000.0;
        best.push_back(mStar);
        std::printf("%-34s %8.3f %8.3f %10.1f %10.1f %6.1f\n", p.name.c_str(), std::sqrt(between), std::sqrt(within),
                    cExec * 1e6, cPlay * 1e6, mStar);
        std::fflush(stdout);
    }
    std::printf("variance: positions=%zu m_star_median=%.1f m_star_low=%.1f m_star_high=%.1f\n", positions.size(),
                median(best), *std::min_element(best.begin(), best.end()), *std::max_element(best.begin(), best.end()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("kelvo-bench-midend");
    std::string path = KELVO_SOURCE_DIR "/bench/midend_positions.txt";
    SearchSettings settings;
    int runs = 1;
    std::string cachePath;
    bool measureVariance = false;
    app.add_option("positions", path, "positions file");
    app.add_option("--runs", runs, "decisions per position, their values averaged")->check(CLI::Range(1, 100));
    app.add_option("--cache", cachePath,
                   "keep the best candidate's and the grid's values in FILE between runs (they do not depend on "
                   "the search options)");
    app.add_flag("--variance", measureVariance, "measure the best number of playouts per execution instead");
    addSearchOptions(app, settings);
    if (const int status = parseToolOptions(app, argc, argv); status >= 0)
        return status;
    KelvoBench::requireClassicIce("kelvo-bench-midend", settings);
    const std::vector<KelvoBench::BenchPosition> positions =
        KelvoBench::readPositions("kelvo-bench-midend", path, -1, 4, 14);
    for (const KelvoBench::BenchPosition& p : positions)
        if (p.state.shotNumber < 0) {
            std::fprintf(stderr, "kelvo-bench-midend: %s: %s has no shot line\n", path.c_str(), p.name.c_str());
            return 2;
        }
    Engine engine(settings);
    std::printf("midend: %zu positions from %s; %d scoring draws; grid %zu speeds x %d headings x 2 spins\n",
                positions.size(), path.c_str(), SCORING_DRAWS, gridSpeeds(GRID.grid).size(), GRID.grid.headings);
    return measureVariance ? variance(positions, engine) : quality(positions, engine, runs, cachePath);
}

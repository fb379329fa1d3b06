#include "sampler.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <memory>

#include "kelvosim/fastsimulator.h"
#include "shotgrid.h"

namespace Kelvo {

namespace {

using Clock = std::chrono::steady_clock;

// After each of the first REFINE_ROUNDS rounds of a widened search, the
// NEAR_LEADERS best survivors bring their neighbours into the pool: a little
// more and less weight, a little more and less heading, and the other spin.
// The steps start at about half the coarse grid's spacing and halve each
// round.
constexpr int NEAR_LEADERS = 2;
constexpr int REFINE_ROUNDS = 3;
constexpr double NEAR_REACH = 0.25;     // metres of reach
constexpr double NEAR_HEADING = 0.006;  // radians

// Marks the keys of common draws apart from the instances' own streams.
constexpr uint32_t COMMON_MARK = 0x636f6d6dU;

double secondsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

void fold(PoolShot& s, double sum, uint32_t n) {
    const double before = double(s.playouts);
    s.mean = (before * s.mean + sum) / (before + n);
    s.playouts += n;
    ++s.executions;
}

// What one thread needs for its share of a round.
struct Worker {
    SearchRandom random;                   // its own streams, when the draws are not common
    std::unique_ptr<PlayoutRandom> common; // when they are: re-seeded for every visit
    VisitCachePtr cache = makeVisitCache();
    uint64_t played = 0;                   // playouts so far, for the rate
    double seconds = 0;
};

struct PoolContext {
    const ThinkBoard& root;
    bool side;
    StrategyPair strategies;
    const SearchSettings& settings;
    uint64_t commonBase;  // the GO's base for common draws
};

SeedKey commonKey(uint64_t base, int32_t round, uint32_t k, SeedStream stream) {
    return SeedKey{{uint32_t(base), uint32_t(base >> 32), uint32_t(round), k, uint32_t(stream), COMMON_MARK}};
}

// One visit of a shot: its execution with noise, then up to n playouts,
// fewer when the round ends first (end is null in a counted round).
void visit(const PoolContext& c, Worker& w, PoolShot& s, int32_t round, uint32_t k, uint32_t n,
           const Clock::time_point* end) {
    dsfmt_t* noise = &w.random.root;
    PlayoutRandom* playouts = w.random.playouts.get();
    dsfmt_t sharedNoise;
    if (c.settings.commonNoise) {
        seedNoise(sharedNoise, commonKey(c.commonBase, round, k, STREAM_ROOT));
        *w.common = PlayoutRandom(commonKey(c.commonBase, round, k, STREAM_PLAYOUT_NOISE),
                                  commonKey(c.commonBase, round, k, STREAM_PLAYOUT_PICK));
        noise = &sharedNoise;
        playouts = w.common.get();
    }
    const Clock::time_point started = Clock::now();
    startVisit(*w.cache, executeCandidate(c.root, s.shot, *noise), c.side, c.strategies);
    double sum = 0;
    uint32_t i = 0;
    do {
        sum += playoutFromVisit(*w.cache, *playouts);
        ++i;
    } while (i < n && !(end && Clock::now() >= *end));
    fold(s, sum, i);
    w.played += i;
    w.seconds += secondsBetween(started, Clock::now());
}

// A round on the wall clock: cycles over the slice until the round ends.
// Each cycle gives every shot one visit of as many playouts as the time left
// affords it at the thread's rate so far, at most perVisit; the first cycle
// of a thread that has not played yet measures that rate with one playout.
void runTimed(const PoolContext& c, Worker& w, std::vector<PoolShot>& pool, const std::vector<int32_t>& slice,
              int32_t round, Clock::time_point end, uint32_t perVisit) {
    if (slice.empty())
        return;
    for (uint32_t k = 0;; ++k) {
        uint32_t n = 1;
        if (w.played > 0 && w.seconds > 0) {
            const double affordable = secondsBetween(Clock::now(), end) * (double(w.played) / w.seconds) / slice.size();
            n = uint32_t(std::clamp(affordable, 1.0, double(perVisit)));
        }
        for (int32_t j : slice) {
            if (Clock::now() >= end)
                return;
            visit(c, w, pool[j], round, k, n, &end);
        }
    }
}

// A counted round: every shot of the slice gets `visits` visits of
// perVisit playouts, whatever the clock says.
void runCounted(const PoolContext& c, Worker& w, std::vector<PoolShot>& pool, const std::vector<int32_t>& slice,
                int32_t round, uint32_t visits, uint32_t perVisit) {
    for (uint32_t k = 0; k < visits; ++k)
        for (int32_t j : slice)
            visit(c, w, pool[j], round, k, perVisit, nullptr);
}

// Rounds of halving needed to bring n shots down to one.
int roundsFor(size_t n) {
    int rounds = 0;
    for (size_t m = n; m > 1; m = (m + 1) / 2)
        ++rounds;
    return std::max(rounds, 1);
}

bool better(const PoolShot& a, const PoolShot& b) {
    if ((a.playouts > 0) != (b.playouts > 0))
        return a.playouts > 0;
    return a.mean > b.mean;
}

// Keeps the better half of the survivors (an unvisited shot ranks last).
void halve(std::vector<PoolShot>& pool, std::vector<int32_t>& survivors, int32_t round) {
    std::stable_sort(survivors.begin(), survivors.end(),
                     [&](int32_t a, int32_t b) { return better(pool[a], pool[b]); });
    const size_t keep = (survivors.size() + 1) / 2;
    for (size_t i = keep; i < survivors.size(); ++i)
        pool[survivors[i]].droppedIn = round;
    survivors.resize(keep);
}

bool inPool(const std::vector<PoolShot>& pool, const Candidate& shot) {
    for (const PoolShot& s : pool)
        if (s.shot.spin == shot.spin && std::fabs(s.shot.x - shot.x) < 1e-9 && std::fabs(s.shot.y - shot.y) < 1e-9)
            return true;
    return false;
}

// The neighbours of the leading survivors (survivors are sorted best first).
void addNeighbours(std::vector<PoolShot>& pool, std::vector<int32_t>& survivors, int32_t round) {
    const double scale = std::ldexp(1.0, -round);
    const size_t leaders = std::min<size_t>(NEAR_LEADERS, survivors.size());
    for (size_t l = 0; l < leaders; ++l) {
        const Candidate leader = pool[survivors[l]].shot;
        const double speed = speedOf(leader);
        const double heading = headingOf(leader);
        // A change of reach d at speed v is a change of speed DECEL d / v.
        const double dv = DECEL * NEAR_REACH * scale / speed;
        const double dh = NEAR_HEADING * scale;
        const Candidate near[5] = {shotAt(std::min(speed + dv, V_MAX), heading, leader.spin),
                                   shotAt(speed - dv, heading, leader.spin),
                                   shotAt(speed, heading + dh, leader.spin),
                                   shotAt(speed, heading - dh, leader.spin),
                                   Candidate{leader.x, leader.y, 1 - leader.spin}};
        for (const Candidate& shot : near) {
            if (inPool(pool, shot))
                continue;
            PoolShot s;
            s.shot = shot;
            pool.push_back(s);
            survivors.push_back(int32_t(pool.size() - 1));
        }
    }
}

std::vector<PoolShot> initialPool(const ThinkBoard& root, const Candidate* candidates, int32_t count, bool widen) {
    std::vector<PoolShot> pool;
    for (int32_t i = 0; i < count; ++i) {
        PoolShot s;
        s.shot = candidates[i];
        s.candidate = i;
        pool.push_back(s);
    }
    if (widen)
        for (const Candidate& shot : gridShots(root.turn == 1 ? lastStoneGrid() : coarseGrid())) {
            PoolShot s;
            s.shot = shot;
            pool.push_back(s);
        }
    return pool;
}

uint64_t commonBaseOf(const SearchSettings& settings, const _GAMESTATE& state) {
    if (!settings.seed)
        return (uint64_t(freshSeed()) << 32) | freshSeed();
    // Another position gets other common draws from the same seed.
    return *settings.seed ^ (uint64_t(uint32_t(state.endNumber)) << 40) ^ (uint64_t(uint32_t(state.shotNumber)) << 52) ^
           0x9e3779b97f4a7c15ULL;
}

}  // namespace

PoolSearch searchPool(const ThinkBoard& root, const Candidate* candidates, int32_t count, bool side,
                      const StrategyPair& strategies, const SearchSettings& settings, const _GAMESTATE& state) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::milliseconds(settings.budgetMs);
    PoolSearch out;
    out.shots = initialPool(root, candidates, std::min(count, MAX_CANDIDATES), settings.widen);
    std::vector<PoolShot>& pool = out.shots;
    if (pool.empty())
        return out;

    const int threads = std::max(settings.instances, 1);
    // With the last stone a playout is the evaluation of the board after the
    // shot: one per execution says all there is.
    const uint32_t perVisit = root.turn == 1 ? 1u : uint32_t(settings.playoutsPerVisit);
    const bool counted = settings.playoutLimit.has_value();
    const uint64_t playoutBudget = counted ? *settings.playoutLimit * uint64_t(threads) : 0;
    const PoolContext context{root, side, strategies, settings, commonBaseOf(settings, state)};
    std::vector<Worker> workers(threads);
    for (int t = 0; t < threads; ++t) {
        if (settings.commonNoise)
            workers[t].common = std::make_unique<PlayoutRandom>(0u, 0u);
        else
            workers[t].random = makeSearchRandom(settings.seed, t, state);
    }

    std::vector<int32_t> survivors(pool.size());
    for (size_t i = 0; i < pool.size(); ++i)
        survivors[i] = int32_t(i);
    for (int32_t round = 0; survivors.size() > 1; ++round) {
        const int roundsLeft = roundsFor(survivors.size());
        Clock::time_point end = deadline;
        uint32_t visits = 0, roundPerVisit = perVisit;
        if (counted) {
            const uint64_t share = (playoutBudget - std::min(out.playouts, playoutBudget)) / roundsLeft;
            roundPerVisit = uint32_t(std::clamp<uint64_t>(share / survivors.size(), 1, perVisit));
            visits = uint32_t(share / (survivors.size() * roundPerVisit));
            if (visits == 0 && round > 0)
                break;
            visits = std::max(visits, 1u);
        } else {
            const Clock::time_point now = Clock::now();
            if (now >= deadline)
                break;
            end = now + (deadline - now) / roundsLeft;
        }
        std::vector<std::vector<int32_t>> slices(threads);
        for (size_t p = 0; p < survivors.size(); ++p)
            slices[p % threads].push_back(survivors[p]);
        auto work = [&](int t) {
            if (counted)
                runCounted(context, workers[t], pool, slices[t], round, visits, roundPerVisit);
            else
                runTimed(context, workers[t], pool, slices[t], round, end, roundPerVisit);
        };
        std::vector<std::future<void>> tasks;
        for (int t = 0; t + 1 < threads; ++t)
            tasks.push_back(std::async(std::launch::async, work, t));
        work(threads - 1);
        for (std::future<void>& task : tasks)
            task.get();
        out.playouts = 0;
        for (const PoolShot& s : pool)
            out.playouts += s.playouts;
        out.rounds = round + 1;

        halve(pool, survivors, round);
        if (settings.widen && round < REFINE_ROUNDS)
            addNeighbours(pool, survivors, round);
    }
    out.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    for (int32_t i : survivors)
        if (out.best < 0 || better(pool[i], pool[out.best]))
            out.best = i;
    out.bestValue = pool[out.best].playouts > 0 ? pool[out.best].mean : NO_VALUE;
    return out;
}

}  // namespace Kelvo

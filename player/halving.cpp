#include "halving.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <memory>

#include "kelvosim/classic/fastsimulator.h"
#include "shotgrid.h"

namespace Kelvo {

namespace {

using Clock = SearchClock;

// Marks the keys of common draws apart from the instances' own streams.
constexpr uint32_t COMMON_MARK = 0x636f6d6dU;

double secondsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
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
    const SearchRoot& root;
    const SearchSettings& settings;
    uint64_t commonBase;  // the move's base for common draws
};

SeedKey commonKey(uint64_t base, int32_t round, uint32_t k, SeedStream stream) {
    return SeedKey{{uint32_t(base), uint32_t(base >> 32), uint32_t(round), k, uint32_t(stream), COMMON_MARK}};
}

// One visit of a shot: its execution with noise, then up to n playouts,
// fewer when the round ends first (no end: a counted round, or a visit the
// round owes the shot whatever the clock says).
void visit(const PoolContext& c, Worker& w, SearchedShot& s, int32_t round, uint32_t k, uint32_t n,
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
    startVisit(*w.cache, executeCandidate(c.root.board, s.launch, *noise), c.root.mover, c.root.strategies);
    double sum = 0;
    uint32_t i = 0;
    do {
        sum += playoutFromVisit(*w.cache, *playouts);
        ++i;
    } while (i < n && !(end && Clock::now() >= *end));
    s.stats.fold(sum, i);
    w.played += i;
    w.seconds += secondsBetween(started, Clock::now());
}

// A round on the wall clock: cycles over the slice until the round ends.
// Each cycle gives every shot one visit of as many playouts as the time left
// affords it at the thread's rate so far, at most perVisit; the first cycle
// of a thread that has not played yet measures that rate with one playout.
// The first `forced` shots of the slice get their first visit even when the
// round has ended.
void runTimed(const PoolContext& c, Worker& w, std::vector<SearchedShot>& pool, const std::vector<int32_t>& slice,
              int32_t round, Clock::time_point end, uint32_t perVisit, size_t forced) {
    if (slice.empty())
        return;
    for (uint32_t k = 0;; ++k) {
        uint32_t n = 1;
        if (w.played > 0 && w.seconds > 0) {
            const double affordable = secondsBetween(Clock::now(), end) * (double(w.played) / w.seconds) / slice.size();
            n = uint32_t(std::clamp(affordable, 1.0, double(perVisit)));
        }
        for (size_t p = 0; p < slice.size(); ++p) {
            const bool mustVisit = k == 0 && p < forced;
            if (!mustVisit && Clock::now() >= end)
                return;
            visit(c, w, pool[slice[p]], round, k, n, mustVisit ? nullptr : &end);
        }
    }
}

// A counted round: every shot of the slice gets `visits` visits of
// perVisit playouts, whatever the clock says.
void runCounted(const PoolContext& c, Worker& w, std::vector<SearchedShot>& pool, const std::vector<int32_t>& slice,
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

bool better(const SearchedShot& a, const SearchedShot& b) {
    if ((a.stats.playouts > 0) != (b.stats.playouts > 0))
        return a.stats.playouts > 0;
    return a.stats.mean > b.stats.mean;
}

// Keeps the better half of the survivors (an unvisited shot ranks last).
void halve(std::vector<SearchedShot>& pool, std::vector<int32_t>& survivors, int32_t round) {
    std::stable_sort(survivors.begin(), survivors.end(),
                     [&](int32_t a, int32_t b) { return better(pool[a], pool[b]); });
    const size_t keep = (survivors.size() + 1) / 2;
    for (size_t i = keep; i < survivors.size(); ++i)
        pool[survivors[i]].droppedIn = round;
    survivors.resize(keep);
}

bool inPool(const std::vector<SearchedShot>& pool, const Candidate& shot) {
    for (const SearchedShot& s : pool)
        if (s.launch.spin == shot.spin && s.launch.spinRate == shot.spinRate && std::fabs(s.launch.x - shot.x) < 1e-9 &&
            std::fabs(s.launch.y - shot.y) < 1e-9)
            return true;
    return false;
}

// The neighbours of the leading survivors (survivors are sorted best first).
void addNeighbours(std::vector<SearchedShot>& pool, std::vector<int32_t>& survivors, int32_t round,
                   const SimContext& sim) {
    const double scale = std::ldexp(1.0, -round);
    const size_t leaders = std::min<size_t>(NEAR_LEADERS, survivors.size());
    for (size_t l = 0; l < leaders; ++l) {
        const Candidate leader = pool[survivors[l]].launch;
        const double speed = speedOf(leader);
        const double heading = headingOf(leader);
        // A change of reach d at speed v is a change of speed a d / v, a the
        // deceleration the ice has at v.
        const double dv = sim.ice->deceleration(speed) * NEAR_REACH * scale / speed;
        const double dh = NEAR_HEADING * scale;
        auto at = [&](double v, double h) {
            Candidate shot = shotAt(v, h, leader.spin);
            shot.spinRate = leader.spinRate;
            return shot;
        };
        Candidate otherSpin = leader;
        otherSpin.spin = 1 - leader.spin;
        // Where the thrower chooses the spin's magnitude, the other end of its range.
        Candidate otherRate = leader;
        otherRate.spinRate = leader.spinRate > 0 ? 0.0f : float(sim.ice->rules().minSpinRate);
        const Candidate near[6] = {at(std::min(speed + dv, maxLaunchSpeed(sim)), heading),
                                   at(speed - dv, heading),
                                   at(speed, heading + dh),
                                   at(speed, heading - dh),
                                   otherSpin,
                                   otherRate};
        for (const Candidate& shot : near) {
            if (inPool(pool, shot))
                continue;
            SearchedShot s;
            s.kind = ShotKind::REFINED;
            s.launch = shot;
            pool.push_back(s);
            survivors.push_back(int32_t(pool.size() - 1));
        }
    }
}

std::vector<SearchedShot> initialPool(const SearchRoot& root, bool widen) {
    std::vector<SearchedShot> pool;
    for (int32_t i = 0; i < std::min(root.count, MAX_CANDIDATES); ++i) {
        SearchedShot s;
        s.candidate = i;
        s.aim = root.aims[i];
        s.launch = root.candidates[i];
        pool.push_back(s);
    }
    if (!widen)
        return pool;
    const int32_t turn = root.board.turn;
    const std::vector<Candidate> local =
        root.grids ? std::vector<Candidate>{} : gridShots(widenedGrid(turn), root.board.sim);
    const std::vector<Candidate>& grid = root.grids ? root.grids->forTurn(turn) : local;
    pool.reserve(pool.size() + grid.size());
    for (const Candidate& shot : grid) {
        SearchedShot s;
        s.kind = ShotKind::GRID;
        s.launch = shot;
        pool.push_back(s);
    }
    return pool;
}

uint64_t commonBaseOf(const SearchSettings& settings, const PositionKey& key) {
    if (!settings.seed)
        return (uint64_t(freshSeed()) << 32) | freshSeed();
    // Another position gets other common draws from the same seed.
    return *settings.seed ^ (uint64_t(uint32_t(key.end)) << 40) ^ (uint64_t(uint32_t(key.shot)) << 52) ^
           0x9e3779b97f4a7c15ULL;
}

double millisecondsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// How many of a slice's first shots are candidates: they come first in the
// pool, and so first in every slice of its first round.
size_t candidatesIn(const std::vector<SearchedShot>& pool, const std::vector<int32_t>& slice) {
    size_t n = 0;
    while (n < slice.size() && pool[slice[n]].kind == ShotKind::CANDIDATE)
        ++n;
    return n;
}

}  // namespace

namespace detail {

// One round's work, shared by its threads. A named type, not a closure, so
// that the thread machinery instantiated for it is shared read-only code.
struct PoolRound {
    const PoolContext* context;
    std::vector<Worker>* workers;
    std::vector<SearchedShot>* pool;
    const std::vector<std::vector<int32_t>>* slices;
    int32_t round;
    bool counted;
    uint32_t visits;
    uint32_t perVisit;
    Clock::time_point end;
};

void runPoolRound(const PoolRound* r, int t) {
    const std::vector<int32_t>& slice = (*r->slices)[t];
    Worker& w = (*r->workers)[t];
    if (r->counted)
        runCounted(*r->context, w, *r->pool, slice, r->round, r->visits, r->perVisit);
    else
        runTimed(*r->context, w, *r->pool, slice, r->round, r->end, r->perVisit,
                 r->round == 0 ? candidatesIn(*r->pool, slice) : 0);
}

}  // namespace detail

SearchResult searchPool(const SearchRoot& root, const SearchSettings& settings) {
    const Clock::time_point deadline = root.started + std::chrono::milliseconds(settings.budgetMs);
    SearchResult out;
    out.allocation = Allocation::HALVING;
    out.strategies = root.strategies;
    out.candidates = std::min(root.count, MAX_CANDIDATES);
    out.shots = initialPool(root, settings.widen);
    std::vector<SearchedShot>& pool = out.shots;
    InstanceLine line;
    line.ok = true;

    const int threads = std::max(settings.instances, 1);
    // With the last stone a playout is the evaluation of the board after the
    // shot: one per execution says all there is.
    const uint32_t perVisit = root.board.turn == 1 ? 1u : uint32_t(settings.playoutsPerVisit);
    const bool counted = settings.playoutLimit.has_value();
    const uint64_t playoutBudget = counted ? *settings.playoutLimit * uint64_t(threads) : 0;
    const PoolContext context{root, settings, commonBaseOf(settings, root.key)};
    std::vector<Worker> workers(threads);
    for (int t = 0; t < threads; ++t) {
        if (settings.commonNoise)
            workers[t].common = std::make_unique<PlayoutRandom>(0u, 0u);
        else
            workers[t].random = makeSearchRandom(settings.seed, t, root.key);
    }

    std::vector<int32_t> survivors(pool.size());
    for (size_t i = 0; i < pool.size(); ++i)
        survivors[i] = int32_t(i);
    out.setupMs = millisecondsBetween(root.started, Clock::now());
    for (int32_t round = 0; survivors.size() > 1 || (round == 0 && !survivors.empty()); ++round) {
        const int roundsLeft = roundsFor(survivors.size());
        detail::PoolRound job{&context, &workers, &pool, nullptr, round, counted, 0, perVisit, deadline};
        if (counted) {
            const uint64_t share = (playoutBudget - std::min(line.playouts, playoutBudget)) / roundsLeft;
            job.perVisit = uint32_t(std::clamp<uint64_t>(share / survivors.size(), 1, perVisit));
            job.visits = uint32_t(share / (survivors.size() * job.perVisit));
            if (job.visits == 0 && round > 0)
                break;
            job.visits = std::max(job.visits, 1u);
        } else {
            const Clock::time_point now = Clock::now();
            if (now >= deadline)
                break;
            job.end = now + (deadline - now) / roundsLeft;
            if (round == 0)
                out.setupMs = millisecondsBetween(root.started, now);
        }
        std::vector<std::vector<int32_t>> slices(threads);
        for (size_t p = 0; p < survivors.size(); ++p)
            slices[p % threads].push_back(survivors[p]);
        job.slices = &slices;
        std::vector<std::future<void>> tasks;
        for (int t = 0; t + 1 < threads; ++t)
            tasks.push_back(std::async(std::launch::async, detail::runPoolRound, &job, t));
        detail::runPoolRound(&job, threads - 1);
        for (std::future<void>& task : tasks)
            task.get();
        line.playouts = 0;
        for (const SearchedShot& s : pool)
            line.playouts += s.stats.playouts;
        out.rounds = round + 1;
        if (survivors.size() <= 1)
            break;

        halve(pool, survivors, round);
        if (settings.widen && round < REFINE_ROUNDS)
            addNeighbours(pool, survivors, round, simOf(root.board));
    }
    line.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - root.started).count();
    for (int32_t i : survivors)
        if (line.best < 0 || better(pool[i], pool[line.best]))
            line.best = i;
    for (const SearchedShot& s : pool) {
        line.visits += s.stats.executions;
        line.shots.push_back(s.stats);
    }
    if (line.best >= 0 && pool[line.best].stats.playouts > 0) {
        const Candidate& best = pool[line.best].launch;
        line.value = pool[line.best].stats.mean;
        line.proposal = toProtocolShot(simOf(root.board), best);
        out.answerShot = line.best;
        out.answer = line.proposal;
    } else {
        line.best = -1;
        out.answer = defaultAnswer(root);
        char note[200];
        std::snprintf(note, sizeof note,
                      "no shot was visited: the setup took %.1f ms of the %d ms budget; the answer is a draw to "
                      "the tee",
                      out.setupMs, settings.budgetMs);
        out.note = note;
    }
    out.instances.push_back(std::move(line));
    return out;
}

}  // namespace Kelvo

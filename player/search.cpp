#include "search.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>

#include "kelvosim/fastsimulator.h"
#include "protocol.h"

namespace Kelvo {

namespace {

// The platform's random device, one per thread: constructing one per draw
// would reopen it for every playout.
std::random_device& threadRandomDevice() {
    thread_local std::random_device device;
    return device;
}

uint64_t mix64(uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return x;
}

}  // namespace

// ---------------------------------------------------------------------------
// End strategy and evaluation

int32_t selectStrategy(bool holdsLastStone, int32_t lead) {
    if (!holdsLastStone) {
        if (lead < 0)
            return STEAL;
        return lead <= 2 ? FORCE1 : PREVENT_MULTI;
    }
    if (lead < -2)
        return SCORE3_OR_MORE;
    return lead <= 2 ? SCORE2 : PREVENT_STEAL;
}

StrategyPair selectStrategies(const ThinkBoard& board, bool side) {
    const int32_t lead = board.firstEndHammer ? -board.scoreDiff : board.scoreDiff;
    return StrategyPair{selectStrategy(side, lead), selectStrategy(!side, -lead)};
}

double evaluateEnd(const ThinkBoard& board, int32_t ownStrategy) {
    // Columns: e <= -3, -2, -1, 0, 1, 2, e >= 3.
    static const double FIRST_THROWER[7] = {-1.0, -0.5, 1.0, 0, 1.0, 1.0, 1.0};
    static const double STEALER[7] = {-1.0, -0.666, -0.333, 0, 1.0, 1.0, 1.0};
    static const double SCORER2[7] = {1.5, 1.0, 0.5, 0, -0.333, -0.666, -1.0};
    static const double SCORER3[7] = {1.0, 0.666, 0.333, 0, -0.333, -0.666, -1.0};
    static const double STEAL_GUARD[7] = {0.5, 1.0, 1.0, 0, -0.333, -0.666, -1.0};
    const int column = std::clamp(board.endScore, -3, 3) + 3;
    switch (ownStrategy) {
    case FORCE1:
    case PREVENT_MULTI: return FIRST_THROWER[column];
    case STEAL: return STEALER[column];
    case SCORE2: return SCORER2[column];
    case SCORE3_OR_MORE: return SCORER3[column];
    case PREVENT_STEAL: return STEAL_GUARD[column];
    default: break;
    }
    KELVO_CHECK(false, "evaluateEnd: strategy without an evaluation row");
    return 0;
}

// ---------------------------------------------------------------------------
// Execution noise

uint32_t freshSeed() {
    // The clock alone repeats for generators made at the same moment; the
    // random device and a process-wide counter keep them apart.
    static std::atomic<uint64_t> serial{0};
    const uint64_t now = static_cast<uint64_t>(
        std::chrono::system_clock::now().time_since_epoch().count());
    std::random_device& device = threadRandomDevice();
    const uint64_t entropy = (uint64_t(device()) << 32) | device();
    const uint64_t x = mix64(now ^ mix64(entropy + serial.fetch_add(1, std::memory_order_relaxed)));
    return static_cast<uint32_t>(x ^ (x >> 32));
}

double drawOpen(dsfmt_t& rng) {
    // A double in [1, 2) with its lowest mantissa bit set, so that after the
    // subtraction neither 0 nor 1 can come out.
    const double closed = dsfmt_genrand_close1_open2(&rng);
    uint64_t bits;
    std::memcpy(&bits, &closed, sizeof bits);
    bits |= 1;
    double open;
    std::memcpy(&open, &bits, sizeof open);
    return open - 1.0;
}

void noiseFromError(double ex, double ey, double& dx, double& dy) {
    // Target of a spin-0 draw to the tee, moved by the slightly turned error.
    const double tx = ey * NOISE_CURL_SKEW + (ex - NOISE_CURL_OFFSET);
    const double ty = ey - ex * NOISE_CURL_SKEW;
    // Straight draw to that target: speed sqrt(2 DECEL L) towards it.
    const double a = ty + TEE_TO_THROW;
    const double b = tx;
    const double length = std::hypot(b, a);
    const double k = std::sqrt(NOISE_DRAW_FACTOR) / std::sqrt(length);
    dx = NOISE_REF_VX - k * b;
    dy = NOISE_REF_VY - k * a;
}

void sampleNoise(dsfmt_t& rng, double& dx, double& dy) {
    const double u1 = drawOpen(rng);
    const double u2 = drawOpen(rng);
    const double r = std::sqrt(-2.0 * std::log(u1));
    const double phi = u2 * 6.283185307179586;
    const double ex = r * std::cos(phi) * NOISE_SIGMA + 0;
    const double ey = r * std::sin(phi) * NOISE_SIGMA + 0;
    noiseFromError(ex, ey, dx, dy);
}

// ---------------------------------------------------------------------------
// Candidates and shots

namespace {

CandidateSet candidateSetFor(int32_t strategy) {
    switch (strategy) {
    case FORCE1: return candidatesForce1;
    case STEAL: return candidatesSteal;
    case PREVENT_MULTI: return candidatesPreventMulti;
    case SCORE2: return candidatesScore2;
    case SCORE3_OR_MORE: return candidatesScore3;
    case PREVENT_STEAL: return candidatesPreventSteal;
    default: break;
    }
    KELVO_CHECK(false, "generateCandidates: strategy without a candidate set");
    return nullptr;
}

}  // namespace

int32_t generateCandidates(const ThinkBoard& board, Candidate* candidates, int32_t strategy) {
    CandidateWriter w{candidates};
    return candidateSetFor(strategy)(board, w);
}

int32_t generateAims(const ThinkBoard& board, Aim* aims, int32_t strategy) {
    CandidateWriter w{nullptr, aims};
    return candidateSetFor(strategy)(board, w);
}

int simulateShot(ThinkBoard& board, const Candidate& shot) {
    const double speed = std::min(std::hypot(shot.x, shot.y), V_MAX);
    const double heading = std::atan2(shot.x, shot.y);
    // On an empty sheet the stone slides to its table rest point; the
    // clear-path move does exactly that, with the speed clamped to the
    // table and no stone placed outside the play area.
    if (stonesOnSheet(board) == 0)
        return simulateClearPath(board, speed, heading, shot.spin);
    const double reach = stopDistance(speed);
    if (board.frontY - STONE_R + TEE_TO_THROW > reach)
        return simulateClearPath(board, speed, heading, shot.spin);
    const StoneMotion launched = launchMotion(shot, speed, heading);
    if (stonesOnSheet(board) == 1)
        return simulateTwoStones(board, launched);
    return simulateGeneral(board, launched);
}

// ---------------------------------------------------------------------------
// Search

PlayoutRandom::PlayoutRandom(uint32_t noiseSeed, uint32_t pickSeed) : pick(pickSeed) {
    dsfmt_init_gen_rand(&noise, noiseSeed);
}

std::unique_ptr<PlayoutRandom> freshPlayoutRandom() {
    const uint32_t noiseSeed = freshSeed();
    return std::make_unique<PlayoutRandom>(noiseSeed, threadRandomDevice()());
}

namespace {

int32_t pickIndex(PlayoutRandom& random, int32_t count) {
    return std::uniform_int_distribution<int32_t>(0, count - 1)(random.pick);
}

bool throwsNext(const ThinkBoard& board, bool side) { return (board.turn % 2 == 1) == side; }

// Throws a planned shot, with noise when it is the searching side's, and
// advances the board.
void throwShot(ThinkBoard& board, Candidate shot, bool ours, PlayoutRandom& random) {
    if (ours) {
        double dx, dy;
        sampleNoise(random.noise, dx, dy);
        shot.x += dx;
        shot.y += dy;
    }
    applyShot(board, simulateShot(board, shot));
}

// One side's candidates on one board, each turned into a launch velocity
// the first time it is thrown.
struct CandidateList {
    int32_t count = 0;
    uint64_t resolved[2] = {};
    Aim aims[MAX_CANDIDATES];
    Candidate shots[MAX_CANDIDATES];

    void generate(const ThinkBoard& board, int32_t strategy) {
        count = generateAims(board, aims, strategy);
        resolved[0] = resolved[1] = 0;
    }
    const Candidate& shot(int32_t i) {
        uint64_t& word = resolved[i / 64];
        const uint64_t bit = uint64_t(1) << (i % 64);
        if (!(word & bit)) {
            shots[i] = resolveAim(aims[i]);
            word |= bit;
        }
        return shots[i];
    }
};

// Throws one stone of a playout from the list of the side to throw: a
// random candidate, or none (the stone thrown away) when the list is empty.
void throwFromList(ThinkBoard& board, CandidateList& list, bool ours, PlayoutRandom& random) {
    if (list.count == 0)
        applyShot(board, 0);
    else
        throwShot(board, list.shot(pickIndex(random, list.count)), ours, random);
}

// The opponent's reply i to the root shot and what follows from it.
struct ReplyEntry {
    bool ready = false;
    ThinkBoard board;     // after the reply
    CandidateList next;   // the candidates of the side throwing after it
};

}  // namespace

double playout(ThinkBoard& board, bool side, const StrategyPair& strategies, PlayoutRandom& random) {
    // Only the candidate thrown is turned into a launch velocity.
    Aim aims[MAX_CANDIDATES];
    while (board.turn != 0) {
        const bool ours = throwsNext(board, side);
        const int32_t count = generateAims(board, aims, ours ? strategies.own : strategies.opp);
        if (count == 0) {
            // No shot to throw: the stone is thrown away.
            applyShot(board, 0);
            continue;
        }
        throwShot(board, resolveAim(aims[pickIndex(random, count)]), ours, random);
    }
    return evaluateEnd(board, strategies.own);
}

double playout(ThinkBoard& board, bool side, const StrategyPair& strategies) {
    if (board.turn == 0)
        return evaluateEnd(board, strategies.own);
    return playout(board, side, strategies, *freshPlayoutRandom());
}

struct VisitCache {
    ThinkBoard root;
    bool side = false;
    StrategyPair strategies;
    bool cached = false;  // the next stone is the opponent's: the replies are cached
    CandidateList replies;
    ReplyEntry entries[MAX_CANDIDATES];
};

void VisitCacheDelete::operator()(VisitCache* cache) const { delete cache; }

VisitCachePtr makeVisitCache() { return VisitCachePtr(new VisitCache); }

void startVisit(VisitCache& cache, const ThinkBoard& afterShot, bool side, const StrategyPair& strategies) {
    cache.root = afterShot;
    cache.side = side;
    cache.strategies = strategies;
    cache.cached = afterShot.turn != 0 && !throwsNext(afterShot, side);
    if (!cache.cached)
        return;
    cache.replies.generate(afterShot, strategies.opp);
    for (ReplyEntry& e : cache.entries)
        e.ready = false;
}

double playoutFromVisit(VisitCache& cache, PlayoutRandom& random) {
    if (!cache.cached) {
        ThinkBoard board = cache.root;
        return playout(board, cache.side, cache.strategies, random);
    }
    // An empty list throws the stone away: one outcome, kept in entry 0.
    const int32_t i = cache.replies.count == 0 ? 0 : pickIndex(random, cache.replies.count);
    ReplyEntry& e = cache.entries[i];
    if (!e.ready) {
        e.board = cache.root;
        if (cache.replies.count == 0)
            applyShot(e.board, 0);
        else
            applyShot(e.board, simulateShot(e.board, cache.replies.shot(i)));
        if (e.board.turn != 0)
            e.next.generate(e.board, throwsNext(e.board, cache.side) ? cache.strategies.own : cache.strategies.opp);
        e.ready = true;
    }
    ThinkBoard board = e.board;
    if (board.turn != 0)
        throwFromList(board, e.next, throwsNext(board, cache.side), random);
    return playout(board, cache.side, cache.strategies, random);
}

ThinkBoard executeCandidate(const ThinkBoard& root, const Candidate& candidate, dsfmt_t& rng) {
    Candidate shot = candidate;
    double dx, dy;
    sampleNoise(rng, dx, dy);
    shot.x += dx;
    shot.y += dy;
    ThinkBoard afterShot = root;
    applyShot(afterShot, simulateShot(afterShot, shot));
    return afterShot;
}

void foldVisit(SearchTally& tally, int32_t i, double sum, uint32_t n) {
    const double visits = tally.visits[i];
    tally.mean[i] = (visits * tally.mean[i] + sum) / (visits + n);
    tally.visits[i] += n;
    ++tally.executions[i];
    tally.playouts += n;
    ++tally.visitsMade;
    // The best is the visited candidate with the highest mean as it stands
    // now, so a candidate whose early visits were lucky loses the lead once
    // its mean falls below another's.
    int32_t best = -1;
    for (int32_t j = 0; j < MAX_CANDIDATES; ++j)
        if (tally.visits[j] > 0 && (best < 0 || tally.mean[j] > tally.mean[best]))
            best = j;
    tally.bestIndex = best;
    tally.bestValue = tally.mean[best];
}

double searchCandidates(const ThinkBoard& root, const Candidate* candidates, int32_t count, bool side,
                        const StrategyPair& strategies, dsfmt_t& rng, Candidate* out, int budgetMs,
                        SearchTally* tallyOut) {
    SearchTally local;
    SearchTally& tally = tallyOut ? *tallyOut : local;
    tally = SearchTally{};
    *out = Candidate{};
    if (count <= 0)
        return NO_VALUE;
    count = std::min(count, MAX_CANDIDATES);
    tally.count = count;

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    auto elapsedMs = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    const std::unique_ptr<PlayoutRandom> random = freshPlayoutRandom();
    const VisitCachePtr cache = makeVisitCache();
    for (int32_t i = 0;; i = (i + 1) % count) {
        startVisit(*cache, executeCandidate(root, candidates[i], rng), side, strategies);

        double sum = 0;
        uint32_t n = 0;
        int64_t elapsed = 0;
        do {
            sum += playoutFromVisit(*cache, *random);
            ++n;
            elapsed = elapsedMs();
        } while (elapsed <= budgetMs && n < PLAYOUTS_PER_VISIT);
        foldVisit(tally, i, sum, n);
        tally.elapsedMs = elapsed;
        if (elapsed > budgetMs)
            break;
    }
    const Candidate& best = candidates[tally.bestIndex];
    *out = Candidate{best.x, -best.y, best.spin};
    return tally.bestValue;
}

double runSearch(ThinkBoard& board, const _GAMESTATE& state, Candidate* out, bool side, int budgetMs,
                 SearchTally* tally) {
    dsfmt_t rng;
    dsfmt_init_gen_rand(&rng, freshSeed());
    buildFromGameState(board, state);
    // Every instance of a move request derives the same pair from the same
    // position; the process-wide copies are atomics, and the search itself
    // reads only its own pair.
    const StrategyPair strategies = selectStrategies(board, side);
    ownStrategy.store(strategies.own);
    oppStrategy.store(strategies.opp);
    Candidate candidates[MAX_CANDIDATES] = {};
    const int32_t count = generateCandidates(board, candidates, strategies.own);
    return searchCandidates(board, candidates, count, side, strategies, rng, out, budgetMs, tally);
}

}  // namespace Kelvo

#include "playout.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iterator>

#include "kelvosim/noise.h"
#include "kelvosim/shot.h"

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

SeedKey seedKey(uint64_t seed, int instance, const _GAMESTATE& state, SeedStream stream) {
    return SeedKey{{uint32_t(seed), uint32_t(seed >> 32), uint32_t(instance), uint32_t(state.endNumber),
                    uint32_t(state.shotNumber), uint32_t(stream)}};
}

void seedNoise(dsfmt_t& rng, const SeedKey& key) {
    uint32_t words[6];
    std::copy(std::begin(key.words), std::end(key.words), words);
    dsfmt_init_by_array(&rng, words, 6);
}

namespace {

std::mt19937 seededPick(const SeedKey& key) {
    std::seed_seq sequence(std::begin(key.words), std::end(key.words));
    return std::mt19937(sequence);
}

}  // namespace

PlayoutRandom::PlayoutRandom(uint32_t noiseSeed, uint32_t pickSeed) : pick(pickSeed) {
    dsfmt_init_gen_rand(&noise, noiseSeed);
}

PlayoutRandom::PlayoutRandom(const SeedKey& noiseKey, const SeedKey& pickKey) : pick(seededPick(pickKey)) {
    seedNoise(noise, noiseKey);
}

std::unique_ptr<PlayoutRandom> freshPlayoutRandom() {
    const uint32_t noiseSeed = freshSeed();
    return std::make_unique<PlayoutRandom>(noiseSeed, threadRandomDevice()());
}

SearchRandom makeSearchRandom(const std::optional<uint64_t>& seed, int instance, const _GAMESTATE& state) {
    SearchRandom random;
    if (!seed) {
        dsfmt_init_gen_rand(&random.root, freshSeed());
        random.playouts = freshPlayoutRandom();
        return random;
    }
    seedNoise(random.root, seedKey(*seed, instance, state, STREAM_ROOT));
    random.playouts = std::make_unique<PlayoutRandom>(seedKey(*seed, instance, state, STREAM_PLAYOUT_NOISE),
                                                      seedKey(*seed, instance, state, STREAM_PLAYOUT_PICK));
    return random;
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

}  // namespace Kelvo

#include "playout.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <new>

#include "kelvosim/classic/noise.h"
#include "kelvosim/board/shot.h"
#include "kelvosim/board/simcontext.h"

namespace Kelvo {

namespace {

// The platform's random device, one per thread (constructing one per draw
// would reopen it for every playout), and how many seeds the thread drew.
struct ThreadRandomDevice {
    std::random_device device;
    uint64_t drawn = 0;
};

ThreadRandomDevice& threadRandomDevice() {
    thread_local ThreadRandomDevice random;
    return random;
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
    // random device and the thread's count of seeds keep them apart.
    const uint64_t now = static_cast<uint64_t>(
        std::chrono::system_clock::now().time_since_epoch().count());
    ThreadRandomDevice& random = threadRandomDevice();
    const uint64_t entropy = (uint64_t(random.device()) << 32) | random.device();
    const uint64_t x = mix64(now ^ mix64(entropy + random.drawn++));
    return static_cast<uint32_t>(x ^ (x >> 32));
}

SeedKey seedKey(uint64_t seed, int instance, const PositionKey& position, SeedStream stream) {
    return SeedKey{{uint32_t(seed), uint32_t(seed >> 32), uint32_t(instance), uint32_t(position.end),
                    uint32_t(position.shot), uint32_t(stream)}};
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
    return std::make_unique<PlayoutRandom>(noiseSeed, threadRandomDevice().device());
}

SearchRandom makeSearchRandom(const std::optional<uint64_t>& seed, int instance, const PositionKey& position) {
    SearchRandom random;
    if (!seed) {
        dsfmt_init_gen_rand(&random.root, freshSeed());
        random.playouts = freshPlayoutRandom();
        return random;
    }
    seedNoise(random.root, seedKey(*seed, instance, position, STREAM_ROOT));
    random.playouts = std::make_unique<PlayoutRandom>(seedKey(*seed, instance, position, STREAM_PLAYOUT_NOISE),
                                                      seedKey(*seed, instance, position, STREAM_PLAYOUT_PICK));
    return random;
}

namespace {

int32_t pickIndex(PlayoutRandom& random, int32_t count) {
    return std::uniform_int_distribution<int32_t>(0, count - 1)(random.pick);
}

// The colour to throw is the turn's parity: BLACK throws at even turns.
bool throwsNext(const ThinkBoard& board, Colour mover) { return board.turn % 2 == mover; }

// Throws a planned shot, with noise when it is the searching side's, and
// advances the board.
void throwShot(ThinkBoard& board, Candidate shot, bool ours, PlayoutRandom& random) {
    if (ours)
        shot = withExecutionNoise(board, shot, random.noise);
    applyShot(board, simulateShot(board, shot));
}

// One side's candidates on one board, each turned into a launch velocity
// the first time it is thrown.
struct CandidateList {
    int32_t count = 0;
    uint64_t resolved[2] = {};
    Aim aims[MAX_CANDIDATES];
    Candidate shots[MAX_CANDIDATES];

    void generate(const ThinkBoard& board, Strategy strategy) {
        count = generateAims(board, aims, strategy);
        resolved[0] = resolved[1] = 0;
    }
    const Candidate& shot(const SimContext& sim, int32_t i) {
        uint64_t& word = resolved[i / 64];
        const uint64_t bit = uint64_t(1) << (i % 64);
        if (!(word & bit)) {
            shots[i] = resolveAim(sim, aims[i]);
            word |= bit;
        }
        return shots[i];
    }
};

// Throws one stone of a playout from the list of the side to throw: a
// random candidate, or none (the stone thrown away) when the list is empty.
void throwFromList(ThinkBoard& board, CandidateList& list, bool ours, PlayoutRandom& random) {
    if (list.count == 0)
        applyShot(board, CHANGE_NONE);
    else
        throwShot(board, list.shot(simOf(board), pickIndex(random, list.count)), ours, random);
}

// The opponent's reply to the root shot and what follows from it.
struct ReplyEntry {
    ThinkBoard board;     // after the reply
    CandidateList next;   // the candidates of the side throwing after it
};

// Room for a reply's entry, left unbuilt until a playout first draws that
// reply: most visits draw a few of the hundred, and building all of them
// would make a new cache cost as much as many visits.
struct ReplySlot {
    ReplySlot() {}
    union {
        ReplyEntry entry;
    };
};

}  // namespace

double playout(ThinkBoard& board, Colour mover, const StrategyPair& strategies, PlayoutRandom& random) {
    // Only the candidate thrown is turned into a launch velocity.
    const SimContext& sim = simOf(board);
    Aim aims[MAX_CANDIDATES];
    while (board.turn != 0) {
        const bool ours = throwsNext(board, mover);
        const int32_t count = generateAims(board, aims, ours ? strategies.own : strategies.opp);
        if (count == 0) {
            // No shot to throw: the stone is thrown away.
            applyShot(board, CHANGE_NONE);
            continue;
        }
        throwShot(board, resolveAim(sim, aims[pickIndex(random, count)]), ours, random);
    }
    return evaluateEnd(board, strategies.own);
}

double playout(ThinkBoard& board, Colour mover, const StrategyPair& strategies) {
    if (board.turn == 0)
        return evaluateEnd(board, strategies.own);
    return playout(board, mover, strategies, *freshPlayoutRandom());
}

struct VisitCache {
    ThinkBoard root;
    Colour mover = BLACK;
    StrategyPair strategies;
    bool cached = false;  // the next stone is the opponent's: the replies are cached
    CandidateList replies;
    bool ready[MAX_CANDIDATES];             // the entry holds this visit's reply
    bool built[MAX_CANDIDATES] = {};        // the slot holds an entry
    ReplySlot slots[MAX_CANDIDATES];

    ReplyEntry& entry(int32_t i) {
        if (!built[i]) {
            new (&slots[i].entry) ReplyEntry;
            built[i] = true;
        }
        return slots[i].entry;
    }
};

void VisitCacheDelete::operator()(VisitCache* cache) const { delete cache; }

VisitCachePtr makeVisitCache() { return VisitCachePtr(new VisitCache); }

void startVisit(VisitCache& cache, const ThinkBoard& afterShot, Colour mover, const StrategyPair& strategies) {
    cache.root = afterShot;
    cache.mover = mover;
    cache.strategies = strategies;
    cache.cached = afterShot.turn != 0 && !throwsNext(afterShot, mover);
    if (!cache.cached)
        return;
    cache.replies.generate(afterShot, strategies.opp);
    std::fill(std::begin(cache.ready), std::end(cache.ready), false);
}

double playoutFromVisit(VisitCache& cache, PlayoutRandom& random) {
    if (!cache.cached) {
        ThinkBoard board = cache.root;
        return playout(board, cache.mover, cache.strategies, random);
    }
    // An empty list throws the stone away: one outcome, kept in entry 0.
    const int32_t i = cache.replies.count == 0 ? 0 : pickIndex(random, cache.replies.count);
    ReplyEntry& e = cache.entry(i);
    if (!cache.ready[i]) {
        e.board = cache.root;
        if (cache.replies.count == 0)
            applyShot(e.board, CHANGE_NONE);
        else
            applyShot(e.board, simulateShot(e.board, cache.replies.shot(simOf(cache.root), i)));
        if (e.board.turn != 0)
            e.next.generate(e.board, throwsNext(e.board, cache.mover) ? cache.strategies.own : cache.strategies.opp);
        cache.ready[i] = true;
    }
    ThinkBoard board = e.board;
    if (board.turn != 0)
        throwFromList(board, e.next, throwsNext(board, cache.mover), random);
    return playout(board, cache.mover, cache.strategies, random);
}

ThinkBoard executeCandidate(const ThinkBoard& root, const Candidate& candidate, dsfmt_t& rng) {
    const Candidate shot = withExecutionNoise(root, candidate, rng);
    ThinkBoard afterShot = root;
    applyShot(afterShot, simulateShot(afterShot, shot));
    return afterShot;
}

}  // namespace Kelvo

// Playouts: the rest of an end played out with random candidates of both
// sides, their random sources, and the cache the playouts of one visit share.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <random>

#include <dSFMT.h>

#include "candidates.h"
#include "kelvosim/board/thinkboard.h"
#include "strategy.h"

namespace Kelvo {

// A seed that differs between generators created at the same moment.
uint32_t freshSeed();

// Which move request a seeded search is: another position gets other
// streams from the same seed.
struct PositionKey {
    int32_t end = 0;
    int32_t shot = 0;
};

// The words a seeded generator starts from: the search seed, the instance,
// the position's end and shot, and which of the instance's streams it is.
// Distinct keys give unrelated streams.
struct SeedKey {
    uint32_t words[6];
};
enum SeedStream : uint32_t { STREAM_ROOT = 0, STREAM_PLAYOUT_NOISE = 1, STREAM_PLAYOUT_PICK = 2 };
SeedKey seedKey(uint64_t seed, int instance, const PositionKey& position, SeedStream stream);
void seedNoise(dsfmt_t& rng, const SeedKey& key);

// The random sources of playouts: the noise of the searching side's shots
// and the picks of candidates. A search instance keeps one pair for all its
// playouts; each playout goes on from where the previous one stopped, so
// every playout draws its own stretch of both sequences.
struct PlayoutRandom {
    dsfmt_t noise;
    std::mt19937 pick;
    PlayoutRandom(uint32_t noiseSeed, uint32_t pickSeed);
    PlayoutRandom(const SeedKey& noiseKey, const SeedKey& pickKey);
};
// Seeded from freshSeed and the random device.
std::unique_ptr<PlayoutRandom> freshPlayoutRandom();

// The generators of one search instance: the noise of its executions at the
// root and its playouts' sources.
struct SearchRandom {
    dsfmt_t root;
    std::unique_ptr<PlayoutRandom> playouts;
};
// From the clock and the random device without a seed; with one, from the
// seed, the instance and the position's end and shot alone.
SearchRandom makeSearchRandom(const std::optional<uint64_t>& seed, int instance, const PositionKey& position);

// Plays the end out with random candidates of both sides and returns the
// value of the final position for the side throwing `mover`.
double playout(ThinkBoard& board, Colour mover, const StrategyPair& strategies, PlayoutRandom& random);
// The same with generators of its own.
double playout(ThinkBoard& board, Colour mover, const StrategyPair& strategies);

// What the playouts of one visit share. They all start from the board after
// the root shot, where the opponent throws next and without noise: each of
// its candidates has one outcome, and the searching side's candidates on
// that outcome are fixed too. Both are worked out the first time a playout
// draws that candidate and reused by the later ones. Making one costs little:
// a reply's entry is filled only when a playout first draws it.
struct VisitCache;
struct VisitCacheDelete {
    void operator()(VisitCache* cache) const;
};
using VisitCachePtr = std::unique_ptr<VisitCache, VisitCacheDelete>;
VisitCachePtr makeVisitCache();
// Prepares the cache for the playouts from afterShot.
void startVisit(VisitCache& cache, const ThinkBoard& afterShot, Colour mover, const StrategyPair& strategies);
// A playout from the visit's board: the same draws and the same value as
// playout on a copy of that board.
double playoutFromVisit(VisitCache& cache, PlayoutRandom& random);

// The start of a visit: the candidate thrown from the root with execution
// noise drawn from rng; returns the board after it.
ThinkBoard executeCandidate(const ThinkBoard& root, const Candidate& candidate, dsfmt_t& rng);

}  // namespace Kelvo

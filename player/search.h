// The sampling search, end strategy selection, execution noise and the
// evaluation of a finished end.
#pragma once

#include <cstdint>
#include <memory>
#include <random>

#include <dSFMT.h>

#include "candidates.h"
#include "kelvosim/gamestate.h"
#include "kelvosim/thinkboard.h"

namespace Kelvo {

constexpr int SEARCH_TIME_MS = 5000;
constexpr int PLAYOUTS_PER_VISIT = 1000;
// The value a search reports before any candidate was visited.
constexpr double NO_VALUE = -999.0;

// The end strategies of the searching side and of its opponent.
struct StrategyPair {
    int32_t own = STRATEGY_NO;
    int32_t opp = STRATEGY_NO;
};

int32_t selectStrategy(bool holdsLastStone, int32_t lead);
// The pair for the side (true: it throws the odd shots and holds the last
// stone) on this board, from its score and the first-end hammer flag.
StrategyPair selectStrategies(const ThinkBoard& board, bool side);
// The value of a finished end for a side playing ownStrategy.
double evaluateEnd(const ThinkBoard& board, int32_t ownStrategy);

// Execution noise.
constexpr double NOISE_SIGMA = double(0.145f);
constexpr double NOISE_CURL_OFFSET = double(1.22f);
constexpr double NOISE_CURL_SKEW = double(0.0335f);
constexpr double NOISE_DRAW_FACTOR = 24.0184326171875;  // 2 * DECEL
constexpr double NOISE_REF_VX = -0.99073974;
constexpr double NOISE_REF_VY = 29.559775;

// A seed that differs between generators created at the same moment.
uint32_t freshSeed();
double drawOpen(dsfmt_t& rng);  // uniform in (0, 1)
// The velocity change that moves a spin-0 draw to the tee by the target
// error (ex, ey).
void noiseFromError(double ex, double ey, double& dx, double& dy);
// Draws a target error and writes the velocity change to add to a shot.
void sampleNoise(dsfmt_t& rng, double& dx, double& dy);

// The candidate set of the strategy; returns how many entries it wrote.
int32_t generateCandidates(const ThinkBoard& board, Candidate* candidates, int32_t strategy);
// The same list as aims, for a playout that resolves only the shot it throws.
int32_t generateAims(const ThinkBoard& board, Aim* aims, int32_t strategy);
// Simulates the shot on the board; returns the change code for applyShot.
int simulateShot(ThinkBoard& board, const Candidate& shot);

// The random sources of playouts: the noise of the searching side's shots
// and the picks of candidates. A search instance keeps one pair for all its
// playouts; each playout goes on from where the previous one stopped, so
// every playout draws its own stretch of both sequences.
struct PlayoutRandom {
    dsfmt_t noise;
    std::mt19937 pick;
    PlayoutRandom(uint32_t noiseSeed, uint32_t pickSeed);
};
// Seeded from freshSeed and the random device.
std::unique_ptr<PlayoutRandom> freshPlayoutRandom();

// Plays the end out with random candidates of both sides and returns the
// value of the final position for the searching side.
double playout(ThinkBoard& board, bool side, const StrategyPair& strategies, PlayoutRandom& random);
// The same with generators of its own.
double playout(ThinkBoard& board, bool side, const StrategyPair& strategies);

// What the playouts of one visit share. They all start from the board after
// the root shot, where the opponent throws next and without noise: each of
// its candidates has one outcome, and the searching side's candidates on
// that outcome are fixed too. Both are worked out the first time a playout
// draws that candidate and reused by the later ones.
struct VisitCache;
struct VisitCacheDelete {
    void operator()(VisitCache* cache) const;
};
using VisitCachePtr = std::unique_ptr<VisitCache, VisitCacheDelete>;
VisitCachePtr makeVisitCache();
// Prepares the cache for the playouts from afterShot.
void startVisit(VisitCache& cache, const ThinkBoard& afterShot, bool side, const StrategyPair& strategies);
// A playout from the visit's board: the same draws and the same value as
// playout on a copy of that board.
double playoutFromVisit(VisitCache& cache, PlayoutRandom& random);

// The start of a visit: the candidate thrown from the root with execution
// noise drawn from rng; returns the board after it.
ThinkBoard executeCandidate(const ThinkBoard& root, const Candidate& candidate, dsfmt_t& rng);

// Per-candidate statistics of one search.
struct SearchTally {
    uint32_t visits[MAX_CANDIDATES] = {};      // playouts folded into each candidate
    uint32_t executions[MAX_CANDIDATES] = {};  // visits of each candidate: noisy executions
    double mean[MAX_CANDIDATES] = {};
    double bestValue = NO_VALUE;
    int32_t bestIndex = 0;
    uint64_t playouts = 0;
    uint64_t visitsMade = 0;  // executions of a candidate, each followed by its playouts
    int32_t count = 0;        // candidates searched
    int64_t elapsedMs = 0;
};

// Folds n playouts with value sum into candidate i. The best is then the
// visited candidate with the highest mean (the earliest index on a tie).
void foldVisit(SearchTally& tally, int32_t i, double sum, uint32_t n);

// Sweeps over count candidates from the root position until budgetMs have
// passed; writes the best candidate with y negated (the server's
// orientation) and returns its value. With no candidate it writes a zero
// shot and returns NO_VALUE.
double searchCandidates(const ThinkBoard& root, const Candidate* candidates, int32_t count, bool side,
                        const StrategyPair& strategies, dsfmt_t& rng, Candidate* out,
                        int budgetMs = SEARCH_TIME_MS, SearchTally* tally = nullptr);

// One search instance: rebuilds the board from the game state (keeping its
// firstEndHammer flag), fixes the strategies, generates the candidates and
// searches them.
double runSearch(ThinkBoard& board, const _GAMESTATE& state, Candidate* out, bool side,
                 int budgetMs = SEARCH_TIME_MS, SearchTally* tally = nullptr);

}  // namespace Kelvo

// The sampling search, end strategy selection, execution noise and the
// evaluation of a finished end.
#pragma once

#include <cstdint>

#include <dSFMT.h>

#include "candidates.h"
#include "kelvosim/gamestate.h"
#include "kelvosim/thinkboard.h"

namespace Kelvo {

constexpr int SEARCH_TIME_MS = 5000;
constexpr int PLAYOUTS_PER_VISIT = 1000;

// The end strategies of the searching side and of its opponent.
struct StrategyPair {
    int32_t own = STRATEGY_NO;
    int32_t opp = STRATEGY_NO;
};

int32_t selectStrategy(bool holdsLastStone, int32_t lead);
// The pair for the side (true: it throws the odd shots and holds the last
// stone) on this board, from its score and the first-end hammer flag.
StrategyPair selectStrategies(const ThinkBoard& board, bool side);
double evaluateEnd(const ThinkBoard& board, int32_t ownStrategy);

// Execution noise.
constexpr double NOISE_SIGMA = double(0.145f);
// A seed that differs between generators created at the same moment.
uint32_t freshSeed();
double drawOpen(dsfmt_t& rng);  // uniform in (0, 1)
void sampleNoise(dsfmt_t& rng, double& dx, double& dy);

int32_t generateCandidates(const ThinkBoard& board, Candidate* candidates, int32_t strategy);
int simulateShot(ThinkBoard& board, const Candidate& shot);

}  // namespace Kelvo

// The end strategies of both sides, the candidate set each strategy throws
// from and the value of a finished end for the searching side.
#pragma once

#include <cstdint>

#include "candidates.h"
#include "kelvosim/thinkboard.h"

namespace Kelvo {

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

// The candidate set of the strategy; returns how many entries it wrote.
int32_t generateCandidates(const ThinkBoard& board, Candidate* candidates, int32_t strategy);
// The same list as aims, for a playout that resolves only the shot it throws.
int32_t generateAims(const ThinkBoard& board, Aim* aims, int32_t strategy);

}  // namespace Kelvo

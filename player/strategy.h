// The end strategies of both sides, the candidate set each strategy throws
// from and the value of a finished end for the searching side.
#pragma once

#include <atomic>
#include <cstdint>

#include "candidates.h"
#include "kelvosim/board/thinkboard.h"

namespace Kelvo {

// The end strategies of the searching side and of its opponent.
struct StrategyPair {
    Strategy own = STRATEGY_NO;
    Strategy opp = STRATEGY_NO;
};

Strategy selectStrategy(bool holdsLastStone, int32_t lead);
// The pair for the side throwing `mover` (WHITE holds the last stone) on this
// board, from its score and the first-end hammer flag.
StrategyPair selectStrategies(const ThinkBoard& board, Colour mover);
// The value of a finished end for a side playing `own`.
double evaluateEnd(const ThinkBoard& board, Strategy own);

// The candidate set of the strategy, resolved on the tables of the board's
// simulation context; returns how many entries it wrote.
int32_t generateCandidates(const ThinkBoard& board, Candidate* candidates, Strategy strategy);
// The same list as aims, for a playout that resolves only the shot it throws.
int32_t generateAims(const ThinkBoard& board, Aim* aims, Strategy strategy);

// Where a search publishes the pair it plays with: the process-wide values
// the line protocol keeps. No pointers: nothing is published.
struct StrategyOutlet {
    std::atomic<Strategy>* own = nullptr;
    std::atomic<Strategy>* opp = nullptr;

    void publish(const StrategyPair& pair) const {
        if (own)
            own->store(pair.own);
        if (opp)
            opp->store(pair.opp);
    }
};

}  // namespace Kelvo

// The end strategies of both sides, the candidate set each strategy throws
// from and the value of a finished end for the searching side.
#pragma once

#include <atomic>
#include <cstdint>

#include "candidates.h"
#include "kelvosim/board/thinkboard.h"
#include "winprob/winprob.h"

namespace Kelvo {

// The end strategies of the searching side and of its opponent.
// With a table of the chance of winning, a finished end is worth the chance
// after its score instead of the strategy's table entry. oppTakeout: the
// chance that the opponent in a playout takes out the searching side's shot
// stone (SearchSettings::playoutTakeout).
struct StrategyPair {
    Strategy own = STRATEGY_NO;
    Strategy opp = STRATEGY_NO;
    const WinTable* win = nullptr;
    double oppTakeout = 0;
    // On the fcv1 ice: the weights each candidate takeout is offered at.
    int32_t takeoutWeights = 1;
};

Strategy selectStrategy(bool holdsLastStone, int32_t lead);
// The pair for the side throwing `mover` (WHITE holds the last stone) on this
// board, from its score and the first-end hammer flag. With a win table,
// each side plays the strategy whose table of end scores ranks the scores
// most as the chance of winning after them does (the lead rule breaks ties
// and decides a game whose outcome no end changes).
StrategyPair selectStrategies(const ThinkBoard& board, Colour mover, const WinTable* win = nullptr);
// The value of a finished end for a side playing `own`.
double evaluateEnd(const ThinkBoard& board, Strategy own);
// The chance of winning for the side throwing `mover` once the end on the
// board is over with `ownScore` points for that side (negative: conceded).
double winAfterEnd(const WinTable& win, const ThinkBoard& board, Colour mover, int32_t ownScore);
// What a playout's final board is worth to the side throwing `mover`:
// evaluateEnd, or with a win table the chance of winning after the end.
double endValue(const ThinkBoard& board, Colour mover, const StrategyPair& strategies);

// The candidate set of the strategy, resolved on the tables of the board's
// simulation context; returns how many entries it wrote.
int32_t generateCandidates(const ThinkBoard& board, Candidate* candidates, Strategy strategy);
// The same list as aims, for a playout that resolves only the shot it throws;
// with every takeout at `takeoutWeights` weights.
int32_t generateAims(const ThinkBoard& board, Aim* aims, Strategy strategy, int32_t takeoutWeights = 1);

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

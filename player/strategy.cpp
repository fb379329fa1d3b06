#include "strategy.h"

#include <algorithm>

namespace Kelvo {

Strategy selectStrategy(bool holdsLastStone, int32_t lead) {
    if (!holdsLastStone) {
        if (lead < 0)
            return STEAL;
        return lead <= CLOSE_LEAD ? FORCE1 : PREVENT_MULTI;
    }
    if (lead < -CLOSE_LEAD)
        return SCORE3_OR_MORE;
    return lead <= CLOSE_LEAD ? SCORE2 : PREVENT_STEAL;
}

StrategyPair selectStrategies(const ThinkBoard& board, Colour mover) {
    const int32_t lead = board.firstEndHammer ? -board.scoreDiff : board.scoreDiff;
    const bool holdsLastStone = mover == WHITE;
    return StrategyPair{selectStrategy(holdsLastStone, lead), selectStrategy(!holdsLastStone, -lead)};
}

double evaluateEnd(const ThinkBoard& board, Strategy own) {
    const int column = std::clamp(board.endScore, -3, 3) + 3;
    switch (own) {
    case FORCE1:
    case PREVENT_MULTI: return EVAL_FIRST_THROWER[column];
    case STEAL: return EVAL_STEALER[column];
    case SCORE2: return EVAL_SCORER2[column];
    case SCORE3_OR_MORE: return EVAL_SCORER3[column];
    case PREVENT_STEAL: return EVAL_STEAL_GUARD[column];
    default: break;
    }
    KELVO_CHECK(false, "evaluateEnd: strategy without an evaluation row");
    return 0;
}

namespace {

CandidateSet candidateSetFor(Strategy strategy) {
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

int32_t generateCandidates(const ThinkBoard& board, Candidate* candidates, Strategy strategy) {
    return writeCandidates(candidateSetFor(strategy), board, candidates);
}

int32_t generateAims(const ThinkBoard& board, Aim* aims, Strategy strategy) {
    CandidateWriter w{nullptr, nullptr, aims};
    return candidateSetFor(strategy)(board, w);
}

}  // namespace Kelvo

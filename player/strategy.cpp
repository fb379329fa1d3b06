#include "strategy.h"

#include <algorithm>

namespace Kelvo {

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

}  // namespace Kelvo

#include "strategy.h"

#include <algorithm>
#include <cmath>

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

namespace {

// The searching side's lead before this end.
int32_t leadOf(const ThinkBoard& board) { return board.firstEndHammer ? -board.scoreDiff : board.scoreDiff; }

// A strategy's row of end values seen from its own side: index s + 3 for
// s = -3 .. 3 points for that side (the rows of the side with the last
// stone are written with its own score negative).
void ownViewRow(Strategy s, bool holdsLastStone, double row[7]) {
    ThinkBoard board;
    for (int column = 0; column < 7; ++column) {
        board.endScore = column - 3;
        const int own = holdsLastStone ? -(column - 3) : column - 3;
        row[own + 3] = evaluateEnd(board, s);
    }
}

double correlation(const double a[7], const double b[7]) {
    double ma = 0, mb = 0;
    for (int i = 0; i < 7; ++i) {
        ma += a[i] / 7;
        mb += b[i] / 7;
    }
    double ab = 0, aa = 0, bb = 0;
    for (int i = 0; i < 7; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// The strategy of a side whose end scores -3 .. 3 lead to the chances
// `wins`: the row that follows them best, the lead rule's pick on a tie.
Strategy strategyForWins(bool holdsLastStone, int32_t lead, const double wins[7]) {
    const Strategy byLead = selectStrategy(holdsLastStone, lead);
    constexpr Strategy WITHOUT[] = {FORCE1, STEAL, PREVENT_MULTI};
    constexpr Strategy WITH[] = {SCORE2, SCORE3_OR_MORE, PREVENT_STEAL};
    double row[7];
    ownViewRow(byLead, holdsLastStone, row);
    Strategy best = byLead;
    double bestFit = correlation(row, wins);
    for (Strategy s : holdsLastStone ? WITH : WITHOUT) {
        ownViewRow(s, holdsLastStone, row);
        const double fit = correlation(row, wins);
        if (fit > bestFit + 1e-9) {
            best = s;
            bestFit = fit;
        }
    }
    return best;
}

}  // namespace

double winAfterEnd(const WinTable& win, const ThinkBoard& board, Colour mover, int32_t ownScore) {
    // The side that scores throws first in the next end; a blank end keeps
    // the hammer where it was.
    const bool hammerNext = ownScore < 0 || (ownScore == 0 && mover == WHITE);
    return win.at(std::max(board.endsLeft, 0), leadOf(board) + ownScore, hammerNext);
}

StrategyPair selectStrategies(const ThinkBoard& board, Colour mover, const WinTable* win) {
    const int32_t lead = leadOf(board);
    const bool holdsLastStone = mover == WHITE;
    if (!win)
        return StrategyPair{selectStrategy(holdsLastStone, lead), selectStrategy(!holdsLastStone, -lead)};
    double own[7], opp[7];
    for (int s = -3; s <= 3; ++s) {
        own[s + 3] = winAfterEnd(*win, board, mover, s);
        opp[3 - s] = 1.0 - own[s + 3];
    }
    return StrategyPair{strategyForWins(holdsLastStone, lead, own), strategyForWins(!holdsLastStone, -lead, opp),
                        win};
}

double endValue(const ThinkBoard& board, Colour mover, const StrategyPair& strategies) {
    if (!strategies.win)
        return evaluateEnd(board, strategies.own);
    return winAfterEnd(*strategies.win, board, mover, mover == BLACK ? board.endScore : -board.endScore);
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

int32_t generateAims(const ThinkBoard& board, Aim* aims, Strategy strategy, int32_t takeoutWeights) {
    CandidateWriter w{nullptr, nullptr, aims};
    if (takeoutWeights > 1)
        w.hitWeights = takeoutWeights;
    return candidateSetFor(strategy)(board, w);
}

}  // namespace Kelvo

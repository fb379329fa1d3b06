// Shot generation: the strategy and shot-kind vocabulary, the helpers that
// turn stones into candidate shots, and one candidate set per end strategy.
#pragma once

#include <cstdint>

#include "kelvosim/primitive.h"
#include "kelvosim/thinkboard.h"

namespace Kelvo {

constexpr int MAX_CANDIDATES = 100;

extern const char* const STRATEGY_NAMES[9];
extern const char* const SHOT_NAMES[16];

enum Strategy : int32_t {
    STRATEGY_NO = 0,
    FORCE1 = 1,
    STEAL = 2,
    PREVENT_MULTI = 3,
    SCORE1 = 4,
    SCORE2 = 5,
    SCORE3_OR_MORE = 6,
    BLANK = 7,
    PREVENT_STEAL = 8,
};

using Candidate = fMoveXY<double>;

// Writes candidates into a caller's array of MAX_CANDIDATES entries. Adding
// stops at the bound: further candidates are ignored, never written past it.
struct CandidateWriter {
    Candidate* out;
    int32_t n = 0;
    Candidate scratch{};  // absorbs what is written once the array is full

    bool full() const { return n >= MAX_CANDIDATES; }
    // The next entry to fill, or a scratch entry once the array is full.
    Candidate& next();
    void commit() { if (!full()) ++n; }
};

int32_t countCenterGuards(const ThinkBoard& board);
int32_t countLeftGuards(const ThinkBoard& board);
int32_t countRightGuards(const ThinkBoard& board);

void makeComeAround(const fStonePos& stone, Candidate& rec);
bool makeHitToward(const fStonePos& a, const fStonePos& b, Candidate& rec);
bool makeHitTowardContact(const fStonePos& a, const fStonePos& b, Candidate& rec);

int32_t candidatesForce1(const ThinkBoard& board, Candidate* candidates);
int32_t candidatesSteal(const ThinkBoard& board, Candidate* candidates);
int32_t candidatesPreventMulti(const ThinkBoard& board, Candidate* candidates);
int32_t candidatesScore2(const ThinkBoard& board, Candidate* candidates);
int32_t candidatesScore3(const ThinkBoard& board, Candidate* candidates);
int32_t candidatesPreventSteal(const ThinkBoard& board, Candidate* candidates);

}  // namespace Kelvo

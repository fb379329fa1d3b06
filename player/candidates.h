// Shot generation: the strategy and shot-kind vocabulary, the helpers that
// turn stones into candidate shots, and one candidate set per end strategy.
#pragma once

#include <cstdint>

#include "kelvosim/classic/motiontables.h"
#include "kelvosim/board/simcontext.h"
#include "kelvosim/primitive.h"
#include "kelvosim/board/thinkboard.h"
#include "tunables.h"

namespace Kelvo {

// Names as arrays of characters, so that they are plain read-only data.
constexpr char STRATEGY_NAMES[9][16] = {
    "NO", "Force1", "Steal", "Prevent Multi", "Score1", "Score2", "Score3 or more", "Blank", "Prevent Steal",
};
constexpr char SHOT_NAMES[16][18] = {
    "",      "CENTER_GUARD", "HIGH_CENTER_GUARD", "CORNER_GUARD", "HIGH_CORNER_GUARD", "DRAW",
    "COME_AROUND", "FREEZE", "SPLIT", "TICK", "RAISE", "HIT_AND_STAY", "HIT_AND_ROLL", "PEEL",
    "DOUBLE_TAKEOUT", "RUNBACK",
};

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

// How a candidate is aimed: a point on the sheet and how to reach it. The
// shot inversion turns it into the launch velocity.
struct Aim {
    enum Kind : int32_t { DRAW, PASS_THROUGH, HIT };
    Kind kind = DRAW;
    Vec2 target{0, 0};
    double param = 0;  // PASS_THROUGH: the extra distance; HIT: the launch speed
    int32_t spin = 0;
};

// The launch velocity of an aim, by the shot inversion on the tables.
Candidate resolveAim(const SimContext& sim, const Aim& aim);

// Writes candidates into a caller's array of MAX_CANDIDATES entries, either
// as launch velocities (resolved on the tables) or as aims left for later (a
// playout throws one candidate of a list, so it resolves only that one).
// Adding stops at the bound: further candidates are ignored, never written
// past it.
struct CandidateWriter {
    const SimContext* sim = nullptr;  // with out
    Candidate* out = nullptr;
    Aim* aims = nullptr;
    int32_t n = 0;

    bool full() const { return n >= MAX_CANDIDATES; }
    void add(const Aim& aim) {
        if (full())
            return;
        if (aims)
            aims[n] = aim;
        else
            out[n] = resolveAim(*sim, aim);
        ++n;
    }
};

int32_t countCenterGuards(const ThinkBoard& board);
int32_t countLeftGuards(const ThinkBoard& board);
int32_t countRightGuards(const ThinkBoard& board);

Aim comeAroundAim(const fStonePos& stone);
bool hitTowardAim(const fStonePos& a, const fStonePos& b, Aim& aim);
bool hitTowardContactAim(const fStonePos& a, const fStonePos& b, Aim& aim);
void makeComeAround(const SimContext& sim, const fStonePos& stone, Candidate& rec);
bool makeHitToward(const SimContext& sim, const fStonePos& a, const fStonePos& b, Candidate& rec);
bool makeHitTowardContact(const SimContext& sim, const fStonePos& a, const fStonePos& b, Candidate& rec);

int32_t candidatesForce1(const ThinkBoard& board, CandidateWriter& w);
int32_t candidatesSteal(const ThinkBoard& board, CandidateWriter& w);
int32_t candidatesPreventMulti(const ThinkBoard& board, CandidateWriter& w);
int32_t candidatesScore2(const ThinkBoard& board, CandidateWriter& w);
int32_t candidatesScore3(const ThinkBoard& board, CandidateWriter& w);
int32_t candidatesPreventSteal(const ThinkBoard& board, CandidateWriter& w);

// Each set into a plain array of launch velocities, resolved on the tables of
// the board's simulation context.
using CandidateSet = int32_t (*)(const ThinkBoard& board, CandidateWriter& w);
int32_t writeCandidates(CandidateSet set, const ThinkBoard& board, Candidate* candidates);
inline int32_t candidatesForce1(const ThinkBoard& b, Candidate* c) { return writeCandidates(candidatesForce1, b, c); }
inline int32_t candidatesSteal(const ThinkBoard& b, Candidate* c) { return writeCandidates(candidatesSteal, b, c); }
inline int32_t candidatesPreventMulti(const ThinkBoard& b, Candidate* c) {
    return writeCandidates(candidatesPreventMulti, b, c);
}
inline int32_t candidatesScore2(const ThinkBoard& b, Candidate* c) { return writeCandidates(candidatesScore2, b, c); }
inline int32_t candidatesScore3(const ThinkBoard& b, Candidate* c) { return writeCandidates(candidatesScore3, b, c); }
inline int32_t candidatesPreventSteal(const ThinkBoard& b, Candidate* c) {
    return writeCandidates(candidatesPreventSteal, b, c);
}

}  // namespace Kelvo

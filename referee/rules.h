// The match rules as plain functions. Sides are 0 (player 1, who throws
// first in end 0) and 1 (player 2). Scores are signed from player 1's view.
#pragma once

#include "kelvosim/board/thinkboard.h"

namespace Kelvo::Server {

// Shots of an end, as the player's board counts them.
using Kelvo::SHOTS_PER_END;
// Ends are counted from 0; the players keep ten end scores, so a match has
// at most this many regular ends (the last at this index).
constexpr int LAST_END_INDEX = 9;
// A tie goes on with extra ends up to this index, then it is a draw. The
// players do not keep the scores of ends past LAST_END_INDEX, and need not:
// an extra end is only played while the match is tied.
constexpr int LAST_EXTRA_END_INDEX = 19;

// The side that throws shot `shot` of an end in which `firstSide` throws
// shot 0.
inline int sideOfShot(int firstSide, int shot) { return shot % 2 == 0 ? firstSide : 1 - firstSide; }

// The count of an end (positive when the side throwing first scores) seen
// from player 1.
inline int scoreForPlayer1(int count, int firstSide) { return firstSide == 0 ? count : -count; }

// The side that scores throws first in the next end; a blank end keeps the
// order.
inline int firstSideOfNextEnd(int firstSide, int scoreP1) {
    if (scoreP1 > 0)
        return 0;
    if (scoreP1 < 0)
        return 1;
    return firstSide;
}

// Whether another end follows end `end` (0-based) of a match of `ends` ends
// with the totals so far: the regular ends, then extra ends while tied.
inline bool anotherEnd(int end, int ends, int totalP1, int totalP2) {
    if (end + 1 < ends)
        return true;
    return totalP1 == totalP2 && end < LAST_EXTRA_END_INDEX;
}

// The final end the players are told: the last regular end, or the extra
// end being played.
inline int finalEndOf(int end, int ends) { return end < ends ? ends - 1 : end; }

enum class Winner { Player1, Player2, Draw };

inline Winner winnerOf(int totalP1, int totalP2) {
    if (totalP1 > totalP2)
        return Winner::Player1;
    if (totalP2 > totalP1)
        return Winner::Player2;
    return Winner::Draw;
}

}  // namespace Kelvo::Server

// The match rules every referee plays by, as plain functions over one
// record of a game's course. Sides are 0 (player 1, who throws first in end
// 0) and 1 (player 2). Scores are signed from player 1's view. What differs
// between games (which stones count, the free guard zone) is the ice's.
#pragma once

#include <climits>

#include "kelvosim/board/thinkboard.h"

namespace Kelvo::Referee {

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
// with the totals so far: the regular ends, then extra ends while tied, the
// last of them at index `lastEnd`.
inline bool anotherEnd(int end, int ends, int totalP1, int totalP2, int lastEnd = LAST_EXTRA_END_INDEX) {
    if (end + 1 < ends)
        return true;
    return totalP1 == totalP2 && end < lastEnd;
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

// A tie after the regular ends that goes on with extra ends until one is won.
constexpr int NO_LAST_END = INT_MAX;

// Where a game stands between its ends.
struct GameCourse {
    int ends = 1;                      // regular ends
    int lastEnd = LAST_EXTRA_END_INDEX;  // the last extra end a tie goes on to; a tie after it is a draw
    int end = 0;                       // the end being played (0-based)
    int firstSide = 0;                 // throws shot 0 of `end`
    int total[2] = {};                 // points of each side in the ends finished
    bool over = false;                 // no end follows the last one finished
};

inline GameCourse gameCourse(int ends, int lastEnd = LAST_EXTRA_END_INDEX) {
    GameCourse course;
    course.ends = ends;
    course.lastEnd = lastEnd;
    return course;
}

// Scores the end being played with the points of each side (one of them 0)
// and moves on: the scoring side throws first in the next end, a blank end
// keeps the order, and the game is over once no end follows. Returns the
// end's score from player 1's view.
inline int finishEnd(GameCourse& course, int points1, int points2) {
    course.total[0] += points1;
    course.total[1] += points2;
    const int score = points1 - points2;
    course.firstSide = firstSideOfNextEnd(course.firstSide, score);
    course.over = !anotherEnd(course.end, course.ends, course.total[0], course.total[1], course.lastEnd);
    if (!course.over)
        ++course.end;
    return score;
}

// The end's points for each side from a count positive for the side that
// threw first (an ice's count of a finished end).
inline void pointsOfCount(int count, int firstSide, int& points1, int& points2) {
    const int score = scoreForPlayer1(count, firstSide);
    points1 = score > 0 ? score : 0;
    points2 = score < 0 ? -score : 0;
}

inline Winner winnerOf(const GameCourse& course) { return winnerOf(course.total[0], course.total[1]); }

}  // namespace Kelvo::Referee

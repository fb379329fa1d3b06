// The stones of one end as the server keeps them, and one thrown shot played
// out on them with the exact simulation.
#pragma once

#include <vector>

#include "kelvosim/primitive.h"
#include "kelvosim/simulator.h"
#include "kelvosim/thinkboard.h"

namespace Kelvo::Server {

constexpr int STONES = 16;

// Server-frame positions; stone i is the one thrown at shot i of the end,
// so it belongs to the side throwing shot i mod 2. A stone not in play (not
// thrown yet, or removed) sits at (0, 0), outside the play area.
struct Position {
    float xy[STONES][2] = {};
};

bool inPlay(const Position& position, int stone);
int stonesInPlay(const Position& position);

// The board of the position with shot `shot` about to be thrown
// (turn 16 - shot), so its free guard zone flags are those of that shot.
ThinkBoard boardFor(const Position& position, int shot);

// The count of a finished end: positive n when the side that threw shot 0
// scores n, negative when the other side does, 0 for a blank end.
int countEnd(const Position& position);

// Where one stone went during a shot, in the server frame.
struct StonePath {
    int stone = 0;
    std::vector<PathPoint> points;
};

struct ShotOutcome {
    Position after;
    std::vector<StonePath> paths;  // every stone that moved, thrown stone first
    int change = 0;       // the simulator's change code
    bool voided = false;  // the shot knocked a protected guard out of play
};

// Plays stone `shot` thrown with `thrown` (board frame: forward positive y)
// from the position. A shot that removes a stone the free guard zone rule
// protects is void: the position stays as it was and the thrown stone is
// out. Stones keep their numbers: the traced shot tells which stone came to
// rest where.
ShotOutcome playShot(const Position& before, int shot, const fMoveXY<double>& thrown);

}  // namespace Kelvo::Server

// The stones of one end as the server keeps them, and one thrown shot played
// out on them with the exact simulation.
#pragma once

#include <string>
#include <vector>

#include "kelvosim/classic/fastsimulator.h"
#include "kelvosim/fcv1/fcv1model.h"
#include "kelvosim/icekind.h"
#include "kelvosim/primitive.h"
#include "kelvosim/classic/simulator.h"
#include "kelvosim/board/thinkboard.h"

namespace Kelvo::Server {

constexpr int STONES = 16;

// Server-frame positions; stone i is the one thrown at shot i of the end,
// so it belongs to the side throwing shot i mod 2. A stone not in play (not
// thrown yet, or removed) sits at (0, 0), outside the play area. On the fcv1
// ice the coordinates are in its shot frame, where (0, 0) is the hack.
struct Position {
    float xy[STONES][2] = {};
    IceKind ice = IceKind::CLASSIC;
};

bool inPlay(const Position& position, int stone);
int stonesInPlay(const Position& position);

// The board of the position with shot `shot` about to be thrown
// (turn 16 - shot), so its free guard zone flags are those of that shot.
ThinkBoard boardFor(const Position& position, int shot);

// The count of a finished end: positive n when the side that threw shot 0
// scores n, negative when the other side does, 0 for a blank end.
int countEnd(const Position& position);

// The fcv1 layout of a position: the side that throws shot 0 is team 0 and
// team 1 holds the hammer, so stone i takes slot i / 2 of team i mod 2.
Fcv1Stones toFcv1Stones(const Position& position);
Position fromFcv1Stones(const Fcv1Stones& stones);

// The exact simulation judges with the converged step unless told
// otherwise; a step up to the player's own EXACT_DT (0.01) may be chosen.
constexpr double MAX_STEP = 0.01;
// Reads a judging step: a number of seconds in (0, MAX_STEP], rounded to
// single precision as the physics world steps in it (0.01 becomes the
// player's EXACT_DT). False for anything else.
bool parseStep(const std::string& text, double& step);

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
// rest where. `step` is the step of the exact simulation.
ShotOutcome playShot(const Position& before, int shot, const fMoveXY<double>& thrown, double step = REFERENCE_DT);

// The same on the fcv1 ice with its exact simulation: the hog line, the
// five-rock free guard zone (a foul restores the position and takes the
// thrown stone off, reported as void) and the launch velocity as played.
ShotOutcome playFcv1Shot(const Position& before, int shot, int end, const Fcv1Move& thrown);

}  // namespace Kelvo::Server

// The stones of one end as a referee keeps them, and one thrown shot played
// out on them: the game's noise, then the exact simulation of the ice.
#pragma once

#include <string>
#include <vector>

#include "kelvosim/classic/fastsimulator.h"
#include "kelvosim/ice.h"
#include "kelvosim/primitive.h"
#include "kelvosim/classic/simulator.h"
#include "kelvosim/board/thinkboard.h"

namespace Kelvo::Referee {

constexpr int STONES = 16;

// Server-frame positions; stone i is the one thrown at shot i of the end,
// so it belongs to the side throwing shot i mod 2. A stone not in play (not
// thrown yet, or removed) sits at (0, 0), outside the play area. The
// coordinates are in the protocol frame of the position's ice.
struct Position {
    float xy[STONES][2] = {};
    IceKind ice = DEFAULT_ICE;
};

bool inPlay(const Position& position, int stone);
int stonesInPlay(const Position& position);

// The board of the position with shot `shot` about to be thrown
// (turn 16 - shot), so its free guard zone flags are those of that shot.
ThinkBoard boardFor(const Position& position, int shot);

// The count of a finished end: positive n when the side that threw shot 0
// scores n, negative when the other side does, 0 for a blank end.
int countEnd(const Position& position);

// The exact simulation judges with the converged step unless told
// otherwise; a step up to the player's own EXACT_DT (0.01) may be chosen.
constexpr double MAX_STEP = 0.01;
// Reads a judging step: a number of seconds in (0, MAX_STEP], rounded to
// single precision as the physics world steps in it (0.01 becomes the
// player's EXACT_DT). False for anything else.
bool parseStep(const std::string& text, double& step);

struct ShotOutcome {
    Position after;
    std::vector<StonePath> paths;  // protocol frame; every stone that moved, thrown stone first
    int change = 0;       // the simulator's change code
    bool voided = false;  // the shot knocked a protected guard out of play
};

// Plays stone `shot` of end `end` thrown with `thrown` (forward positive y)
// from the position, with the exact simulation and the rules of its ice. A
// shot that removes a stone the free guard zone rule protects is void: the
// position stays as it was and the thrown stone is out. Stones keep their
// numbers. `step` is the step of the exact simulation, on ices where one is
// chosen.
ShotOutcome playShot(const Position& before, int shot, const fMoveXY<double>& thrown, double step = REFERENCE_DT,
                     int end = 0);

// A shot as answered, as thrown and what it did.
struct ThrownShot {
    fMoveXY<double> thrown;  // as playShot takes it: noise included
    ThrowError noise;        // what the noise did
    ShotOutcome outcome;
};

// Throws stone `shot` of end `end` as answered (protocol frame) from the
// position: the game's noise, made by the position's ice (Ice::refereeNoise),
// then playShot.
ThrownShot throwShot(const Position& before, int shot, int end, const fMoveXY<double>& answered, ThrowNoise& noise,
                     double step);

}  // namespace Kelvo::Referee

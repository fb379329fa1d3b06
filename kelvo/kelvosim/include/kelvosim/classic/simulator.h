// The exact simulator: stones as discs in a Box2D world, moved with the
// system's own ice model between fixed physics steps.
#pragma once

#include <cstdint>
#include <vector>

#include <box2d/box2d.h>

#include "kelvosim/classic/fastboard.h"
#include "kelvosim/ice.h"
#include "kelvosim/primitive.h"
#include "kelvosim/board/thinkboard.h"
#include "kelvosim/classic/tunables.h"

namespace Kelvo {

// One exact run: the world, its stone bodies and their state words. Moving
// stones occupy body[0 .. numMoving-1], resting ones follow them.
struct B2Board {
    b2World world;
    b2Body* body[16];
    int32_t stoneState[16];
    int32_t numResting;
    int32_t numMoving;
    bool voided;  // the run stopped because a protected stone left the play area

    B2Board();
    ~B2Board();
    B2Board(const B2Board&) = delete;
    B2Board& operator=(const B2Board&) = delete;
};

struct StoneVelocity {
    double vx, vy, w;
};

// Whether a body's position counts as in play when the run ends: a stone
// at rest on a bound is still in play (single-precision bounds, as the
// bodies see them).
bool insideWriteBackArea(const b2Vec2& p);

b2Body* createStone(double x, double y, b2World& world);
// state: the stone's colour bit, with ST_PROTECTED when the free guard zone
// rule protects it; a protected stone leaving the area voids the shot.
void addMovingStone(B2Board& board, const FSStone& stone, int32_t state);
// A resting stone must lie in the play area: otherwise its coordinates go to
// standard error and the check fails.
void addRestingStone(B2Board& board, Vec2 org, int32_t state);
// The ice model for one update with speed loss dv.
StoneVelocity applyFriction(double dv, double vx, double vy, double w);
void frictionStep(double dv, b2Body* body);
void frictionAll(double dv, B2Board* pSubGameState);
// Runs the motion to its end; returns the number of friction updates after
// the half step, or 0 when a protected stone left the play area (and then
// sets the board's voided flag).
int simulateB2(B2Board* pb2bd, double dt);

// A whole shot simulated exactly from the throw point: every stone of the
// board rests in the world, the thrown stone starts at the throw point with
// the shot's launch velocity (not clamped: this is the shot as thrown) and
// the spin of its flag. Returns the change applyShot consumes and writes the
// outcome into the board's stone lists:
//   CHANGE_NONE     the thrown stone left play without moving another stone,
//                   or a protected stone was knocked out of play and the shot
//                   is void; the board is untouched;
//   CHANGE_ADDED    only the thrown stone came to rest, added with
//                   addStoneTracked;
//   CHANGE_REBUILT  other stones moved; the lists were rebuilt with addStone,
//                   stones the shot never touched keeping their exact
//                   coordinates.
ShotChange simulateShotExact(ThinkBoard& board, const fMoveXY<double>& shot, double dt = EXACT_DT);

// The same whole shot, stone by stone, for callers that must know which
// stone came to rest where. Entry 0 is the thrown stone, then the board's
// stones colour by colour in their stored order.
// Its path points (PathPoint, ice.h) are in the board frame.
constexpr double PATH_SPACING = 0.05;

struct ExactShotTrace {
    bool voided = false;  // a protected stone left the play area: the shot is void
    int32_t n = 0;
    int32_t colour[17] = {};
    Vec2 start[17] = {};
    bool inPlay[17] = {};  // at rest inside the play area at the end
    bool moved[17] = {};   // a stone that never moved keeps its exact start as rest
    Vec2 rest[17] = {};
    // With paths asked for: where each stone went, from its start to where
    // it stopped or was last seen before leaving the area, points at most
    // PATH_SPACING apart; empty for a stone that never moved.
    std::vector<PathPoint> path[17];
};
ExactShotTrace traceShotExact(const ThinkBoard& board, const fMoveXY<double>& shot, double dt = EXACT_DT,
                              bool withPaths = false);
// Writes a traced shot into the board it was traced on; returns the change.
ShotChange applyExactTrace(ThinkBoard& board, const ExactShotTrace& trace);

}  // namespace Kelvo

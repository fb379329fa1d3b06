// The fast shot simulation, the one the search plays its shots with. A shot
// takes one of three paths by what the thrown stone can reach: a clear path
// to rest, a single stone on the sheet, or the general case, which slides the
// stone to its first contact and plays out the fast board from there in the
// event loop. Each entry point returns the change applyShot consumes and reads
// the motion tables of the board's simulation context.
#pragma once

#include "kelvosim/classic/fastboard.h"
#include "kelvosim/classic/motiontables.h"
#include "kelvosim/primitive.h"
#include "kelvosim/board/thinkboard.h"

namespace Kelvo {

// The launch of a shot from the throw point: spin +CURL_RATIO for flag 0,
// -CURL_RATIO for flag 1.
MotionState launchState(const fMoveXY<double>& shot);
// The same from the thrown stone's motion, for a caller that already has its
// speed (clamped to V_MAX) and heading.
StoneMotion launchMotion(const fMoveXY<double>& shot, double speed, double heading);

// Runs the event loop on a fast board set up after the first contact; more
// than MAX_EVENTS events hand it over to the exact simulation.
ShotChange simulateFSBoard(ThinkBoard& board, FSBoard& fs);

ShotChange simulateClearPath(ThinkBoard& board, double speed, double heading, int spinFlag);
ShotChange simulateTwoStones(ThinkBoard& board, const MotionState& launch);
ShotChange simulateGeneral(ThinkBoard& board, const MotionState& launch);
ShotChange simulateTwoStones(ThinkBoard& board, const StoneMotion& launched);
ShotChange simulateGeneral(ThinkBoard& board, const StoneMotion& launched);

// Steps of a shot, exposed to the tests.
namespace detail {

struct Approach {
    bool contact = false;  // the stones touch at the end
    int steps = 0;         // table jumps taken before the contact or the give-up
    int k = 0;             // the thrown stone's speed row at the end
};
// Slides the thrown stone toward one resting stone until the two touch, the
// stone can no longer reach it, or they start to move apart.
Approach approachResting(const MotionTables& tables, StoneMotion& thrown, const StoneMotion& resting);

struct LoopTrace {
    int events = 0;          // events counted when the loop ended
    bool handedOver = false; // the exact simulator finished the shot
};
ShotChange runEventLoop(ThinkBoard& board, FSBoard& fs, LoopTrace* trace);

}  // namespace detail

}  // namespace Kelvo

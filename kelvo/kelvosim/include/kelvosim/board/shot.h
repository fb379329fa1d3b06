// One thrown shot on a board, simulated and disturbed by the board's ice.
#pragma once

#include <dSFMT.h>

#include "kelvosim/primitive.h"
#include "kelvosim/board/thinkboard.h"

namespace Kelvo {

// Simulates the shot on the board with the fast simulation of its context;
// returns the change for applyShot.
ShotChange simulateShot(ThinkBoard& board, const fMoveXY<double>& shot);

// The shot as thrown: the execution noise of the board's ice drawn from rng,
// with the spread of the board's context.
fMoveXY<double> withExecutionNoise(const ThinkBoard& board, fMoveXY<double> shot, dsfmt_t& rng);

}  // namespace Kelvo

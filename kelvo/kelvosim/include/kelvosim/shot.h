// One thrown shot on a board: the simulation is chosen by what the stone
// can reach and by how many stones are on the sheet.
#pragma once

#include <dSFMT.h>

#include "kelvosim/primitive.h"
#include "kelvosim/thinkboard.h"

namespace Kelvo {

class Fcv1FastWorkspace;

// Simulates the shot on the board with the fast simulation of its context;
// returns the change for applyShot. On the fcv1 ice the workspace, when
// given, keeps the exact world the simulation falls back on between shots.
ShotChange simulateShot(ThinkBoard& board, const fMoveXY<double>& shot, Fcv1FastWorkspace* workspace = nullptr);

// The shot as thrown: the execution noise of the board's ice drawn from rng.
// Classic: the miss of a draw's target turned into a change of velocity;
// fcv1: Gaussian errors of speed and direction, the speed capped first.
fMoveXY<double> withExecutionNoise(const ThinkBoard& board, fMoveXY<double> shot, dsfmt_t& rng);

}  // namespace Kelvo

// One thrown shot on a board: the simulation is chosen by what the stone
// can reach and by how many stones are on the sheet.
#pragma once

#include "kelvosim/primitive.h"
#include "kelvosim/thinkboard.h"

namespace Kelvo {

// Simulates the shot on the board with the fast simulation of its context;
// returns the change for applyShot.
ShotChange simulateShot(ThinkBoard& board, const fMoveXY<double>& shot);

}  // namespace Kelvo

// One thrown shot on a search board on the fcv1 ice: the board's stones are
// laid out by shot number for the fast fcv1 simulation and its result goes
// back into the board's lists, as the classic simulation writes them.
#pragma once

#include "kelvosim/fcv1/fcv1fast.h"
#include "kelvosim/primitive.h"
#include "kelvosim/board/thinkboard.h"

namespace Kelvo {

// A shot record as an fcv1 move: the record's x and forward y are the shot
// frame's vx and vy, and spin 1 turns counter-clockwise, so that it curls
// toward -x as spin 1 does on the classic ice. A record's spin rate 0 is the
// model's launch spin, which a record keeps as 0.
inline Fcv1Move fcv1MoveOf(const fMoveXY<double>& shot) {
    return Fcv1Move{float(shot.x), float(shot.y), shot.spin == 1, shot.spinRate > 0 ? shot.spinRate : FCV1_LAUNCH_SPIN};
}
inline fMoveXY<double> shotOfFcv1Move(const Fcv1Move& move) {
    return fMoveXY<double>{double(move.vx), double(move.vy), move.ccw ? 1 : 0,
                           move.spin == FCV1_LAUNCH_SPIN ? 0.0f : move.spin};
}

// The board's stones by shot number: each colour's stones take the first
// slots of its parity, which are all thrown before the next shot.
Fcv1Board fcv1BoardOf(const ThinkBoard& board);

// Simulates the board's next shot; returns the change code for applyShot.
// A free guard zone foul changes nothing (code 0), as a void shot does.
ShotChange simulateShotFcv1(ThinkBoard& board, const fMoveXY<double>& shot, const Fcv1Tables& tables,
                            const IceRules& rules, Fcv1FastWorkspace* workspace = nullptr);

}  // namespace Kelvo

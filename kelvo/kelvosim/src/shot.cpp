#include "kelvosim/shot.h"

#include <algorithm>
#include <cmath>

#include "kelvosim/fastshot.h"
#include "kelvosim/fcv1shot.h"
#include "kelvosim/noise.h"
#include "kelvosim/simcontext.h"
#include "kelvosim/motiontables.h"
#include "kelvosim/simcontext.h"

namespace Kelvo {

ShotChange simulateShot(ThinkBoard& board, const fMoveXY<double>& shot, Fcv1FastWorkspace* workspace) {
    if (board.sim != nullptr && onFcv1(*board.sim))
        return simulateShotFcv1(board, shot, fcv1TablesOf(*board.sim), workspace);
    const double speed = std::min(std::hypot(shot.x, shot.y), V_MAX);
    const double heading = std::atan2(shot.x, shot.y);
    // On an empty sheet the stone slides to its table rest point; the
    // clear-path move does exactly that, with the speed clamped to the
    // table and no stone placed outside the play area.
    if (stonesOnSheet(board) == 0)
        return simulateClearPath(board, speed, heading, shot.spin);
    const double reach = tablesOf(board).stopDistance(speed);
    if (board.frontY - STONE_R + TEE_TO_THROW > reach)
        return simulateClearPath(board, speed, heading, shot.spin);
    const StoneMotion launched = launchMotion(shot, speed, heading);
    if (stonesOnSheet(board) == 1)
        return simulateTwoStones(board, launched);
    return simulateGeneral(board, launched);
}

fMoveXY<double> withExecutionNoise(const ThinkBoard& board, fMoveXY<double> shot, dsfmt_t& rng) {
    if (board.sim != nullptr && onFcv1(*board.sim))
        return shotOfFcv1Move(applyFcv1Noise(fcv1MoveOf(shot), board.sim->noise, rng));
    double dx, dy;
    sampleNoise(rng, dx, dy);
    shot.x += dx;
    shot.y += dy;
    return shot;
}

}  // namespace Kelvo

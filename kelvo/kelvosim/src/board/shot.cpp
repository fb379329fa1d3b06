#include "kelvosim/board/shot.h"

#include "kelvosim/board/simcontext.h"

namespace Kelvo {

ShotChange simulateShot(ThinkBoard& board, const fMoveXY<double>& shot) {
    return simOf(board).ice->simulateShot(board, shot);
}

fMoveXY<double> withExecutionNoise(const ThinkBoard& board, fMoveXY<double> shot, dsfmt_t& rng) {
    const SimContext& sim = simOf(board);
    return sim.ice->withExecutionNoise(shot, sim.noise, rng);
}

}  // namespace Kelvo

#include "kelvosim/fcv1/fcv1shot.h"

namespace Kelvo {

Fcv1Board fcv1BoardOf(const ThinkBoard& board) {
    Fcv1Board b;
    for (int32_t c = 0; c < 2; ++c)
        for (int32_t i = 0; i < board.count[c]; ++i) {
            const int32_t k = c + 2 * i;
            b.present[k] = true;
            b.x[k] = board.stones[c][i].x;
            b.y[k] = board.stones[c][i].y;
        }
    return b;
}

ShotChange simulateShotFcv1(ThinkBoard& board, const fMoveXY<double>& shot, const Fcv1Tables& tables,
                            const IceRules& rules, Fcv1FastWorkspace* workspace) {
    const int32_t number = SHOTS_PER_END - board.turn;
    Fcv1Board b = fcv1BoardOf(board);
    const Fcv1FastOutcome outcome = simulateFcv1Fast(tables, b, number, fcv1MoveOf(shot), rules, workspace);
    const int32_t thrower = number % 2;
    if (outcome.change == 1) {
        addStoneTracked(board, thrower, b.x[number], b.y[number]);
    } else if (outcome.change == 2) {
        clearStoneLists(board);
        for (int32_t k = 0; k < FCV1_STONES; ++k)
            if (b.present[k])
                addStone(board, k % 2, b.x[k], b.y[k]);
    }
    return ShotChange(outcome.change);
}

}  // namespace Kelvo

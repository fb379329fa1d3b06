#include "kelvosim/fcv1/fcv1shot.h"

#include <algorithm>

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
    const Fcv1Board before = fcv1BoardOf(board);
    Fcv1Board b = before;
    const Fcv1FastOutcome outcome = simulateFcv1Fast(tables, b, number, fcv1MoveOf(shot), rules, workspace);
    const int32_t thrower = number % 2;
    if (outcome.change == 1) {
        addStoneTracked(board, thrower, b.x[number], b.y[number]);
    } else if (outcome.change == 2) {
        // A stone the shot left where it was keeps its entry (the same
        // numbers its coordinates give): only the moved ones are worked out anew.
        fStonePos kept[2][8];
        std::copy(&board.stones[0][0], &board.stones[0][0] + 16, &kept[0][0]);
        clearStoneLists(board);
        for (int32_t k = 0; k < FCV1_STONES; ++k) {
            if (!b.present[k])
                continue;
            if (before.present[k] && before.x[k] == b.x[k] && before.y[k] == b.y[k])
                addStone(board, k % 2, kept[k % 2][k / 2]);
            else
                addStone(board, k % 2, b.x[k], b.y[k]);
        }
    }
    return ShotChange(outcome.change);
}

}  // namespace Kelvo

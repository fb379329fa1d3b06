// The fcv1 ice under the search's board: shots written back into the
// colour lists as the classic simulation writes them.
#include <gtest/gtest.h>

#include "kelvosim/fcv1/fcv1ice.h"
#include "kelvosim/fcv1/fcv1inversion.h"
#include "kelvosim/fcv1/fcv1shot.h"
#include "kelvosim/board/shot.h"
#include "kelvosim/board/simcontext.h"

namespace {

using namespace Kelvo;

const SimContext& fcv1() {
    static const SimContext sim = [] {
        SimContext s;
        s.ice = makeIce(IceKind::FCV1);
        return s;
    }();
    return sim;
}

const Fcv1Tables& tables() { return static_cast<const Fcv1Ice&>(*fcv1().ice).tables(); }

ThinkBoard boardAt(int32_t shot) {
    ThinkBoard b;
    b.sim = &fcv1();
    resetBoard(b);
    b.turn = turnOfShot(shot);
    return b;
}

TEST(Fcv1Board, ADrawRestsInTheHouseAndATakeoutRemovesTheStone) {
    ThinkBoard board = boardAt(6);
    addStone(board, WHITE, 0.0, 0.0);  // on the tee
    recomputeStates(board);
    // Shot 6 is BLACK's: a draw beside the tee comes to rest alone.
    ThinkBoard drawn = board;
    const fMoveXY<double> draw = shotOfFcv1Move(fcv1DrawTo(tables(), 1.0, 0.3, true));
    applyShot(drawn, simulateShot(drawn, draw));
    ASSERT_EQ(drawn.count[BLACK], 1);
    EXPECT_NEAR(drawn.stones[BLACK][0].x, 1.0, 0.02);
    EXPECT_NEAR(drawn.stones[BLACK][0].y, 0.3, 0.02);
    EXPECT_EQ(drawn.count[WHITE], 1);
    // A full hit at takeout weight sends the white stone out of play.
    ThinkBoard hit = board;
    const fMoveXY<double> takeout = shotOfFcv1Move(fcv1HitAt(tables(), 0.0, 0.0, 3.0, false));
    applyShot(hit, simulateShot(hit, takeout));
    EXPECT_EQ(hit.count[WHITE], 0);
    EXPECT_EQ(hit.turn, board.turn - 1);
}

TEST(Fcv1Board, AGuardKnockedOutUnderTheFiveRockRuleChangesNothing) {
    // Shot 4 is still under the rule on this ice (shots 0..4).
    ThinkBoard board = boardAt(4);
    addStone(board, WHITE, 0.0, -3.4);
    recomputeStates(board);
    const fMoveXY<double> peel = shotOfFcv1Move(fcv1HitAt(tables(), 0.0, -3.4, 3.9, true));
    ThinkBoard after = board;
    EXPECT_EQ(simulateShot(after, peel), CHANGE_NONE);
    EXPECT_EQ(after.count[WHITE], 1);
    EXPECT_EQ(after.stones[WHITE][0].y, -3.4);
    // The same peel at shot 5 takes the guard out.
    ThinkBoard later = boardAt(5);
    addStone(later, BLACK, 0.0, -3.4);
    recomputeStates(later);
    EXPECT_EQ(simulateShot(later, peel), CHANGE_REBUILT);
    EXPECT_EQ(later.count[BLACK], 0);
}

TEST(Fcv1Board, ARebuiltBoardKeepsTheStonesTheShotLeftAndWorksOutTheMovedOnes) {
    // Stones of both colours away from the line of a hit on the tee stone.
    ThinkBoard board = boardAt(7);
    addStone(board, WHITE, 0.0, 0.0);
    addStone(board, WHITE, -1.2, 1.1);
    addStone(board, BLACK, 1.3, -0.4);
    addStone(board, BLACK, -0.9, -1.5);
    addStone(board, WHITE, 1.0, 1.6);
    recomputeStates(board);
    ThinkBoard after = board;
    const fMoveXY<double> hit = shotOfFcv1Move(fcv1HitAt(tables(), 0.0, 0.0, 3.0, true));
    ASSERT_EQ(simulateShot(after, hit), CHANGE_REBUILT);
    for (int32_t c = 0; c < 2; ++c)
        for (int32_t i = 0; i < after.count[c]; ++i) {
            // Each entry holds the numbers its own coordinates give, in
            // order of distance, whether kept or worked out anew.
            const fStonePos& p = after.stones[c][i];
            const fStonePos q = makeStonePos(p.x, p.y);
            EXPECT_TRUE(p.r == q.r && p.th == q.th) << c << " " << i;
            if (i > 0)
                EXPECT_LT(after.stones[c][i - 1].r, p.r);
        }
    // The far stones stay where they were, each once.
    const double far[4][3] = {{WHITE, -1.2, 1.1}, {BLACK, 1.3, -0.4}, {BLACK, -0.9, -1.5}, {WHITE, 1.0, 1.6}};
    for (const auto& f : far) {
        const int32_t c = int32_t(f[0]);
        int32_t found = 0;
        for (int32_t i = 0; i < after.count[c]; ++i)
            found += after.stones[c][i].x == f[1] && after.stones[c][i].y == f[2];
        EXPECT_EQ(found, 1) << f[1] << " " << f[2];
    }
}

bool sameShot(const fMoveXY<double>& a, const fMoveXY<double>& b) {
    return a.x == b.x && a.y == b.y && a.spin == b.spin && a.spinRate == b.spinRate;
}

TEST(Fcv1Board, AimsAskedAgainAnswerAsTheInversions) {
    const Ice& ice = *fcv1().ice;
    const Vec2 targets[] = {{0.0, 0.0}, {0.5, -1.0}};
    fMoveXY<double> hits[2][2][2];
    // The second round reads remembered answers: each must still be its own
    // kind's, spin's and weight's.
    for (int round = 0; round < 2; ++round)
        for (int t = 0; t < 2; ++t)
            for (int32_t spin = 0; spin < 2; ++spin) {
                const Vec2 at = targets[t];
                EXPECT_TRUE(sameShot(ice.drawTo(at, spin), shotOfFcv1Move(fcv1DrawTo(tables(), at.x, at.y, spin == 1))));
                for (double extra : {1.0, 2.0})
                    EXPECT_TRUE(sameShot(ice.passThrough(at, extra, spin),
                                         shotOfFcv1Move(fcv1PassThrough(tables(), at.x, at.y, extra, spin == 1))));
                for (int w = 0; w < 2; ++w) {
                    const fMoveXY<double> hit = ice.hitAt(at, w == 0 ? 30.0 : 36.0, spin);
                    if (round == 0)
                        hits[t][spin][w] = hit;
                    EXPECT_TRUE(sameShot(hit, hits[t][spin][w]));
                }
                EXPECT_FALSE(sameShot(hits[t][spin][0], hits[t][spin][1]));
            }
}

}  // namespace

#include <gtest/gtest.h>

#include "kelvosim/board/thinkboard.h"
#include "support.h"

using namespace Kelvo;
using KelvoTest::makeBoard;

namespace {

// A game state with the given stones (server frame), the rest off the sheet.
_GAMESTATE stateWith(int shot, std::initializer_list<std::pair<int, Vec2>> stones) {
    _GAMESTATE s;
    s.shotNumber = shot;
    s.endNumber = 2;
    s.finalEnd = 7;
    s.endScores[0] = 2;
    s.endScores[1] = -1;
    s.endScores[2] = 5;  // the current end: not counted
    for (const auto& [i, p] : stones) {
        s.stonePos[i][0] = static_cast<float>(p.x + FX_TEE);
        s.stonePos[i][1] = static_cast<float>(FY_TEE - p.y);
    }
    return s;
}

}  // namespace

TEST(ThinkBoard, EmptySheet) {
    ThinkBoard b;
    b.firstEndHammer = true;
    buildFromGameState(b, stateWith(0, {}));
    EXPECT_EQ(b.turn, 16);
    EXPECT_EQ(b.endsLeft, 5);
    EXPECT_EQ(b.scoreDiff, 1);
    EXPECT_EQ(stonesOnSheet(b), 0);
    EXPECT_EQ(b.endScore, 0);
    EXPECT_EQ(b.frontY, 999.0);
    EXPECT_EQ(b.lastIndex, -1);
    EXPECT_TRUE(b.firstEndHammer);  // the driver's flag survives the rebuild
}

TEST(ThinkBoard, BuildsSortedBoardAndSkipsStonesOffTheSheet) {
    ThinkBoard b;
    buildFromGameState(b, stateWith(6, {{0, {0.5, 0.0}}, {2, {0.0, 0.2}}, {4, {0.0, -3.0}}, {1, {0.0, 1.0}}}));
    ASSERT_EQ(b.count[BLACK], 3);
    ASSERT_EQ(b.count[WHITE], 1);
    EXPECT_LT(b.stones[BLACK][0].r, b.stones[BLACK][1].r);
    EXPECT_LT(b.stones[BLACK][1].r, b.stones[BLACK][2].r);
    EXPECT_EQ(b.inHouse[BLACK], 2);
    EXPECT_EQ(b.inHouse[WHITE], 1);
    EXPECT_EQ(b.endScore, 2);
    EXPECT_NEAR(b.frontY, -3.0, 1e-6);
    EXPECT_EQ(b.state[WHITE][0], ST_WHITE);
}

TEST(ThinkBoard, EqualDistancesKeepInsertionOrder) {
    ThinkBoard b = makeBoard(10, {{BLACK, 0.5, 0.0}, {BLACK, 0.0, 0.5}, {BLACK, -0.5, 0.0}});
    EXPECT_EQ(b.stones[BLACK][0].x, 0.5);
    EXPECT_EQ(b.stones[BLACK][1].x, 0.0);
    EXPECT_EQ(b.stones[BLACK][2].x, -0.5);
    addStoneTracked(b, BLACK, 0.0, -0.5);
    EXPECT_EQ(b.lastIndex, 3);
}

TEST(ThinkBoard, CountOfThePosition) {
    EXPECT_EQ(makeBoard(10, {{BLACK, 0.3, 0}, {BLACK, 1.0, 0}, {WHITE, 0.8, 0}}).endScore, 1);
    EXPECT_EQ(makeBoard(10, {{BLACK, 0.3, 0}, {BLACK, 1.0, 0}, {WHITE, 0.2, 0}, {WHITE, 0.8, 0}}).endScore, -1);
    EXPECT_EQ(makeBoard(10, {{BLACK, 0.1, 0}, {BLACK, 0.2, 0}, {BLACK, 0.3, 0}, {WHITE, 1.0, 0}}).endScore, 3);
    // The two nearest at exactly the same distance: nobody scores.
    EXPECT_EQ(makeBoard(10, {{BLACK, 0.5, 0}, {WHITE, -0.5, 0}, {WHITE, 0.9, 0}}).endScore, 0);
    // Only stones in the house count.
    EXPECT_EQ(makeBoard(10, {{WHITE, 0, -1.975000038743019}, {WHITE, 0, -3.0}}).endScore, 0);
    EXPECT_EQ(makeBoard(10, {{WHITE, 0, -1.9}, {WHITE, 0, -3.0}}).endScore, -1);
}

TEST(ThinkBoard, FreeGuardAndProtectionFlags) {
    // turn 14: BLACK to move; a WHITE guard is protected, a BLACK one is not.
    ThinkBoard b = makeBoard(14, {{WHITE, 0.2, -4.0}, {BLACK, -0.2, -5.0}});
    EXPECT_EQ(b.state[WHITE][0], ST_WHITE | ST_FREEGUARD | ST_PROTECTED);
    EXPECT_EQ(b.state[BLACK][0], ST_FREEGUARD);
    // Built at turn 12 nothing carries a flag.
    ThinkBoard late = makeBoard(12, {{WHITE, 0.2, -4.0}, {BLACK, -0.2, -5.0}});
    EXPECT_EQ(late.state[WHITE][0], ST_WHITE);
    EXPECT_EQ(late.state[BLACK][0], 0);
    // A guard just past the tee line is not in the zone.
    EXPECT_EQ(makeBoard(14, {{WHITE, 2.1, -0.15}}).state[WHITE][0], ST_WHITE | ST_FREEGUARD | ST_PROTECTED);
    EXPECT_EQ(makeBoard(14, {{WHITE, 2.1, -0.14}}).state[WHITE][0], ST_WHITE);
}

TEST(ThinkBoard, ApplyShotMovesProtection) {
    // turn 14, BLACK throws a guard (CHANGE_ADDED): after it WHITE moves and the
    // BLACK guard is protected, WHITE's own guard no longer is.
    ThinkBoard b = makeBoard(14, {{WHITE, 0.2, -4.0}});
    addStoneTracked(b, BLACK, -0.3, -6.0);
    applyShot(b, CHANGE_ADDED);
    EXPECT_EQ(b.turn, 13);
    EXPECT_EQ(b.state[BLACK][0], ST_FREEGUARD | ST_PROTECTED);
    EXPECT_EQ(b.state[WHITE][0], ST_WHITE | ST_FREEGUARD);
    EXPECT_NEAR(b.frontY, -6.0, 1e-12);
    // The fourth stone of the end ends the protection, keeping the zone bits.
    ThinkBoard after = b;
    applyShot(after, CHANGE_NONE);
    EXPECT_EQ(after.turn, 12);
    EXPECT_EQ(after.state[BLACK][0], ST_FREEGUARD);
    EXPECT_EQ(after.state[WHITE][0], ST_WHITE | ST_FREEGUARD);
    addStoneTracked(b, WHITE, 0.0, 0.0);
    applyShot(b, CHANGE_ADDED);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < b.count[c]; ++i)
            EXPECT_EQ(b.state[c][i] & ST_PROTECTED, 0);
    EXPECT_EQ(b.endScore, -1);
}

TEST(ThinkBoard, ApplyShotWithRebuiltLists) {
    ThinkBoard b = makeBoard(15, {{BLACK, 0.0, -4.0}});
    b.inHouse[BLACK] = b.inHouse[WHITE] = b.count[BLACK] = b.count[WHITE] = 0;
    addStone(b, BLACK, 0.0, 0.5);
    addStone(b, WHITE, 0.2, -3.0);
    applyShot(b, CHANGE_REBUILT);
    EXPECT_EQ(b.turn, 14);
    EXPECT_EQ(b.endScore, 1);
    EXPECT_EQ(b.state[WHITE][0], ST_WHITE | ST_FREEGUARD | ST_PROTECTED);
    EXPECT_NEAR(b.frontY, -3.0, 1e-12);
}

TEST(ThinkBoardDeath, ConsistencyChecksReportAndStop) {
    ThinkBoard done = makeBoard(0, {});
    EXPECT_DEATH(applyShot(done, CHANGE_NONE), "ThinkBoard : illegal turn\\.");
    // Shot 2 thrown: BLACK can have two stones, not three.
    ThinkBoard b;
    EXPECT_DEATH(buildFromGameState(b, stateWith(2, {{0, {0, 0}}, {2, {0, 1}}, {4, {1, 0}}})),
                 "ThinkBoard : illegal number of stones\\( BLACK3t13 \\)\\.");
    EXPECT_DEATH(makeBoard(16, {{WHITE, 0, 0}}), "ThinkBoard : illegal number of stones\\( WHITE1t15 \\)\\.");
    ThinkBoard bad = makeBoard(10, {{BLACK, 0, 0}});
    bad.state[BLACK][0] = ST_WHITE;
    EXPECT_DEATH(Exam(bad), "ThinkBoard : illegal stone state\\( BLACK0 \\)\\.");
    EXPECT_DEATH(applyShot(bad, ShotChange(3)), "Assertion `0' failed");
}

// Every ice behind the one interface: made from its name, its frames agree
// with each other and with the shared board frame, and its rules are the
// value the board plays by.
#include <gtest/gtest.h>

#include "kelvosim/board/simcontext.h"
#include "kelvosim/classic/classicice.h"
#include "kelvosim/fcv1/fcv1ice.h"
#include "kelvosim/ice.h"

namespace {

using namespace Kelvo;

TEST(Ice, EveryNameMakesItsIceAndBack) {
    ASSERT_FALSE(iceKindsByName().empty());
    for (const auto& [name, kind] : iceKindsByName()) {
        IceKind parsed;
        ASSERT_TRUE(parseIceName(name.c_str(), parsed)) << name;
        EXPECT_EQ(parsed, kind);
        EXPECT_EQ(iceName(kind), name);
        EXPECT_EQ(sheetOf(kind).kind(), kind);
        EXPECT_STREQ(sheetOf(kind).name(), name.c_str());
    }
    IceKind untouched = DEFAULT_ICE;
    EXPECT_FALSE(parseIceName("Classic", untouched));
    EXPECT_FALSE(parseIceName("", untouched));
    EXPECT_EQ(untouched, DEFAULT_ICE);
}

// A board point goes to the protocol frame and back unchanged (to single
// precision), and every ice's tee is drawn on the same picture point.
TEST(Ice, FramesMeetAtTheTeeAndRoundTrip) {
    for (const auto& entry : iceKindsByName()) {
        const Ice& ice = sheetOf(entry.second);
        const Vec2 tee = ice.toProtocolPoint(Vec2{0, 0});
        const Vec2 drawn = ice.toPicture(tee.x, tee.y);
        EXPECT_NEAR(drawn.x, FX_TEE, 1e-6) << entry.first;
        EXPECT_NEAR(drawn.y, FY_TEE, 1e-6) << entry.first;
        for (const Vec2 board : {Vec2{0.3, -0.4}, Vec2{-1.1, 1.2}, Vec2{0.5, -4.0}}) {
            const Vec2 at = ice.toProtocolPoint(board);
            Vec2 back;
            EXPECT_TRUE(ice.stoneOnBoard(float(at.x), float(at.y), back)) << entry.first;
            EXPECT_NEAR(back.x, board.x, 1e-5) << entry.first;
            EXPECT_NEAR(back.y, board.y, 1e-5) << entry.first;
        }
        // (0, 0), where a stone out of play sits, is out of play on every ice.
        Vec2 p;
        EXPECT_FALSE(ice.stoneOnBoard(0.0f, 0.0f, p)) << entry.first;
    }
}

// The board's free guard zone ends where the rules of its ice say.
TEST(Ice, TheBoardPlaysTheFreeGuardZoneOfItsIcesRules) {
    for (const auto& entry : iceKindsByName()) {
        SimContext sim;
        sim.ice = std::shared_ptr<const Ice>(&sheetOf(entry.second), [](const Ice*) {});
        ThinkBoard board;
        board.sim = &sim;
        resetBoard(board);
        const int32_t covered = sim.ice->rules().freeGuardShots;
        EXPECT_GT(covered, 0) << entry.first;
        EXPECT_EQ(firstTurnAfterFreeGuard(board), SHOTS_PER_END - covered) << entry.first;
        EXPECT_TRUE(freeGuardRuleApplies(board, turnOfShot(covered - 1))) << entry.first;
        EXPECT_FALSE(freeGuardRuleApplies(board, turnOfShot(covered))) << entry.first;
    }
    EXPECT_EQ(classicRules().freeGuardShots, 4);
    EXPECT_EQ(dc3Rules().freeGuardShots, 5);
}

// An ice refuses a rule set its simulations do not play, rather than play
// other rules than it says.
TEST(IceDeathTest, AnIceRefusesRulesItsSimulationsDoNotPlay) {
    IceRules wider = dc3Rules();
    wider.countRadius = 2.5;
    EXPECT_DEATH(Fcv1Ice(IceKind::FCV1, wider, nullptr), "");
    IceRules faster = dc3Rules();
    faster.minSpinRate = 2.0;
    EXPECT_DEATH(Fcv1Ice(IceKind::FCV1, faster, nullptr), "");
    EXPECT_DEATH(ClassicIce(IceKind::CLASSIC, dc3Rules(), nullptr), "");
}

}  // namespace

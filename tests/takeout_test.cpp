// The rule-based takeout player: which rule a board calls for, and that its
// takeout removes the stone on both ices.
#include <gtest/gtest.h>

#include "kelvosim/board/shot.h"
#include "support.h"
#include "takeout/takeout.h"

namespace {

using namespace Kelvo;
using KelvoTest::makeBoard;

TEST(Takeout, TakesOutGuardsOrDrawsAsTheHouseCallsFor) {
    dsfmt_t rng;
    dsfmt_init_gen_rand(&rng, 5);
    // WHITE throws at odd turns. The opponent's stone on the tee, a white
    // stone further out: take the black one out.
    ThinkBoard board = makeBoard(9, {{BLACK, 0.05, 0.1}, {WHITE, 1.0, 0.6}, {BLACK, -0.4, -4.0}});
    TakeoutChoice c = decideTakeout(board, WHITE, rng);
    EXPECT_EQ(c.rule, TakeoutRule::TAKEOUT);
    EXPECT_EQ(c.aim.kind, Aim::HIT);
    EXPECT_GE(c.removed, TAKEOUT_TRIALS * 3 / 4);
    ThinkBoard after = board;
    applyShot(after, simulateShot(after, c.shot));
    EXPECT_TRUE(removedShotStone(board, after, WHITE));
    // The same board for BLACK: its own stone is nearest, so it guards it.
    board = makeBoard(10, {{BLACK, 0.05, 0.1}, {WHITE, 1.0, 0.6}});
    c = decideTakeout(board, BLACK, rng);
    EXPECT_EQ(c.rule, TakeoutRule::GUARD);
    EXPECT_LT(c.aim.target.y, 0.1 - 2.0);
    // A stone outside the house is nobody's shot: draw to the tee.
    board = makeBoard(9, {{BLACK, 0.0, -4.0}});
    c = decideTakeout(board, WHITE, rng);
    EXPECT_EQ(c.rule, TakeoutRule::DRAW);
    EXPECT_EQ(shotStoneColour(board), std::nullopt);
}

TEST(Takeout, RemovesTheShotStoneOnTheFcv1Ice) {
    SearchSettings settings;
    settings.ice = IceKind::FCV1;
    const Engine engine(settings);
    // Shot 3 is WHITE's; BLACK's stone of shot 0 lies on the tee.
    _GAMESTATE state;
    state.shotNumber = 3;
    state.finalEnd = 9;
    state.stonePos[0][0] = 0.1f;
    state.stonePos[0][1] = 38.3f;
    const std::optional<Candidate> shot = takeoutShot(state, engine.simulation(), 11);
    ASSERT_TRUE(shot.has_value());
    ThinkBoard board;
    board.sim = &engine.simulation();
    buildFromGameState(board, state);
    dsfmt_t rng;
    dsfmt_init_gen_rand(&rng, 3);
    const TakeoutChoice c = decideTakeout(board, WHITE, rng);
    EXPECT_EQ(c.rule, TakeoutRule::TAKEOUT);
    EXPECT_GE(c.removed, TAKEOUT_TRIALS / 2);
    // Seeded: the same answer every time; a state that cannot be played has none.
    EXPECT_EQ(takeoutAnswer(state, engine.simulation(), 11), takeoutAnswer(state, engine.simulation(), 11));
    state.shotNumber = 0;
    std::string why;
    EXPECT_EQ(takeoutAnswer(state, engine.simulation(), 11, &why), "");
    EXPECT_FALSE(why.empty());
}

}  // namespace

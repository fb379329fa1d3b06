// The player on the fcv1 ice: the game state read in the shot frame, legal
// candidates, and answers in the shot frame.
#include <gtest/gtest.h>

#include <cmath>

#include "engine.h"
#include "kelvosim/fcv1/fcv1exact.h"
#include "kelvosim/fcv1/fcv1shot.h"

namespace {

using namespace Kelvo;

SearchSettings fcv1Settings() {
    SearchSettings s;
    s.ice = IceKind::FCV1;
    s.budgetMs = 2000;
    s.instances = 2;
    s.playoutsPerVisit = 20;
    s.playoutLimit = 400;
    s.seed = 7;
    return s;
}

// Where a lone stone launched with the shot comes to rest in exact fcv1,
// before the hog-line rule; false when it leaves the sheet.
bool exactRest(const Candidate& shot, float& y) {
    Fcv1ShotInput in;
    in.shot = 5;
    in.move = fcv1MoveOf(shot);
    Fcv1Trace trace;
    simulateFcv1Exact(in, &trace);
    const int k = fcv1ThrownIndex(5, 1);
    y = trace.rest.y[k];
    return trace.rest.present[k];
}

TEST(Fcv1Player, ReadsTheShotFrameAndAnswersInIt) {
    Engine engine(fcv1Settings());
    _GAMESTATE state;
    state.shotNumber = 5;
    state.finalEnd = 7;
    // Stone 0 (BLACK) in the house, stone 1 (WHITE) a centre guard, stone 2
    // short of the hog line: not in play, so not counted against BLACK.
    state.stonePos[0][0] = 0.3f, state.stonePos[0][1] = 38.0f;
    state.stonePos[1][0] = 0.0f, state.stonePos[1][1] = 34.5f;
    state.stonePos[2][0] = 0.0f, state.stonePos[2][1] = 31.9f;
    const Decision d = engine.decide(state);
    ASSERT_TRUE(d.playable) << d.why;
    // Forward is +y in the shot frame, and no launch passes the players' cap.
    EXPECT_GT(d.shot.y, 1.5);
    EXPECT_LE(std::hypot(d.shot.x, d.shot.y), double(FCV1_MAX_SPEED) + 1e-6);
    EXPECT_EQ(d.answer.rfind("BESTSHOT ", 0), 0u);

    // Every candidate is a legal shot: within the cap, and a draw or guard
    // of the sets comes to rest past the hog line on an empty sheet.
    ASSERT_GT(d.search.candidates, 0);
    for (int32_t i = 0; i < d.search.candidates; ++i) {
        const SearchedShot& s = d.search.shots[size_t(i)];
        EXPECT_LE(std::hypot(s.launch.x, s.launch.y), double(FCV1_MAX_SPEED) + 1e-6) << i;
        if (s.aim.kind != Aim::DRAW)
            continue;
        float y = 0;
        ASSERT_TRUE(exactRest(s.launch, y)) << i;
        EXPECT_GT(y - FCV1_STONE_R, FCV1_HOG_Y) << i;
        EXPECT_NEAR(double(y) - double(FCV1_TEE_Y), s.aim.target.y, 0.05) << i;
    }
}

TEST(Fcv1Player, CountsStonesInPlayByTheHogLine) {
    _GAMESTATE state;
    state.shotNumber = 1;
    state.stonePos[0][0] = 0.0f, state.stonePos[0][1] = 38.0f;
    EXPECT_TRUE(isPlayableState(state, nullptr, IceKind::FCV1));
    // A WHITE stone in play before WHITE has thrown.
    state.stonePos[1][0] = 0.0f, state.stonePos[1][1] = 36.0f;
    std::string why;
    EXPECT_FALSE(isPlayableState(state, &why, IceKind::FCV1));
    EXPECT_NE(why.find("WHITE"), std::string::npos) << why;
    // Short of the hog line it is not on the sheet.
    state.stonePos[1][1] = 32.0f;
    EXPECT_TRUE(isPlayableState(state, nullptr, IceKind::FCV1));
}

}  // namespace

// Four search instances at once on real positions, kept short so that the
// thread sanitizer build can run them: the instances share only the root,
// the motion tables and the two strategy indices, and a race shows up here.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "engine.h"
#include "protocol.h"
#include "support.h"

using namespace Kelvo;

namespace {

const std::regex ANSWER(R"(BESTSHOT -?\d+\.\d{6} -?\d+\.\d{6} [01])");

void place(_GAMESTATE& s, int stone, float x, float y) {
    s.stonePos[stone][0] = x;
    s.stonePos[stone][1] = y;
}

// End 3 of 8, shot 7 (WHITE, the player, to throw): three BLACK stones (two
// guards and one in the house) and three WHITE stones around the tee.
_GAMESTATE midEnd() {
    _GAMESTATE s;
    s.shotNumber = 7;
    s.endNumber = 3;
    s.finalEnd = 8;
    s.endScores[0] = 1;
    s.endScores[1] = -2;
    s.endScores[2] = 1;
    place(s, 0, 2.2f, 8.9f);
    place(s, 2, 2.6f, 9.6f);
    place(s, 4, 2.9f, 5.3f);
    place(s, 1, 2.4f, 4.7f);
    place(s, 3, 1.6f, 4.2f);
    place(s, 5, 2.1f, 6.1f);
    return s;
}

TEST(FourInstances, ShortSearchOnAMidEndPositionAnswersAndAgreesOnTheStrategies) {
    const _GAMESTATE s = midEnd();
    ThinkBoard board;
    buildFromGameState(board, s);
    ASSERT_EQ(board.turn, 9);

    // Through the protocol's decider, which has the searches publish.
    Engine engine = KelvoTest::engine(KelvoTest::withBudget(300));
    const std::string answer = engineDecider(engine)(s);
    EXPECT_TRUE(std::regex_match(answer, ANSWER)) << answer;
    // The published pair is the one the position gives.
    const StrategyPair expected = selectStrategies(board, WHITE);
    EXPECT_EQ(ownStrategy.load(), expected.own);
    EXPECT_EQ(oppStrategy.load(), expected.opp);
}

TEST(FourInstances, BackToBackRequestsOnChangingPositions) {
    // The kept first-end flag passes from one request's threads to the next.
    Engine engine = KelvoTest::engine(KelvoTest::withBudget(100));
    _GAMESTATE s;
    s.finalEnd = 8;
    s.shotNumber = 1;
    place(s, 0, 2.4f, 4.5f);
    EXPECT_TRUE(std::regex_match(engine.decide(s).answer, ANSWER));

    _GAMESTATE later = midEnd();
    later.shotNumber = 12;  // BLACK, the other side, to throw
    EXPECT_TRUE(std::regex_match(engine.decide(later).answer, ANSWER));

    // The last stone of an end: every playout ends at once.
    later.shotNumber = 15;
    EXPECT_TRUE(std::regex_match(engine.decide(later).answer, ANSWER));
}

}  // namespace

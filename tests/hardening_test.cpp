// Faults found by the protocol fuzzer and the sanitizer builds, kept as
// ordinary tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <regex>
#include <string>

#include "engine.h"
#include "protocol.h"
#include "support.h"

using namespace Kelvo;

namespace {

void command(const std::string& line) {
    std::string block = line;
    handleCommand(&block[0], MoveDecider());
}

// SCORE and SETSTATE store what the server sent, saturated to 32 bits; the
// board built for a move request summed the scores and subtracted the end
// number in 32 bits and overflowed (undefined behaviour, a wrapped lead).
TEST(FuzzRegression, ExtremeScoresAndFinalEndDoNotOverflowTheBoard) {
    command("NEWGAME");
    command("SETSTATE 0 0 8 0");
    command("SCORE -99999999999");
    command("SETSTATE 0 1 8 0");
    command("SCORE -2");
    command("SETSTATE 3 2 -2147483649 0");
    ASSERT_EQ(gameState.endScores[0], INT32_MIN);
    ASSERT_EQ(gameState.finalEnd, INT32_MIN);
    ASSERT_TRUE(isPlayableState(gameState));

    ThinkBoard board;
    buildFromGameState(board, gameState);
    EXPECT_EQ(board.scoreDiff, -INT32_MAX);
    EXPECT_EQ(board.endsLeft, -INT32_MAX);
    // BLACK is far behind whichever side holds the first-end hammer.
    EXPECT_EQ(selectStrategies(board, BLACK).own, STEAL);
    board.firstEndHammer = true;
    EXPECT_EQ(selectStrategies(board, WHITE).own, PREVENT_STEAL);

    command("SETSTATE 0 0 8 0");
    command("SCORE 2147483647");
    command("SETSTATE 0 1 8 0");
    command("SCORE 2147483647");
    command("SETSTATE 0 2 2147483647 0");
    buildFromGameState(board, gameState);
    EXPECT_EQ(board.scoreDiff, INT32_MAX);
    EXPECT_EQ(board.endsLeft, INT32_MAX - 2);
    command("NEWGAME");
}

// Positions no game reaches but the server may send: stones stacked on one
// point, stones on the edges of the play area, numbers that are no
// coordinates. A short search on each must still answer.
TEST(OddPositions, StackedEdgeAndNonFiniteStonesStillGiveAnAnswer) {
    Engine engine = KelvoTest::engine(KelvoTest::withBudget(60));
    const std::regex answer(R"(BESTSHOT -?\d+\.\d{6} -?\d+\.\d{6} [01])");
    command("NEWGAME");
    command("SETSTATE 8 0 8 0");
    // Six stones on the tee itself.
    command("POSITION 2.375 4.88 2.375 4.88 2.375 4.88 2.375 4.88 2.375 4.88 2.375 4.88");
    EXPECT_TRUE(std::regex_match(engine.decide(gameState).answer, answer));
    // On the corners and sides of the play area, and exactly touching pairs.
    command("POSITION 0.145 2.905 4.605 2.905 0.145 41.4 4.605 41.4 2.375 2.905 2.375 41.4"
            " 2.085 4.88 2.375 4.88");
    EXPECT_TRUE(std::regex_match(engine.decide(gameState).answer, answer));
    // Not-a-number and infinite coordinates lie nowhere on the sheet.
    command("POSITION nan 4.88 2.375 nan inf 4.88 -inf -inf 2.4 4.5 1e400 1e400 -nan -nan 2.2 8.9");
    EXPECT_TRUE(std::regex_match(engine.decide(gameState).answer, answer));
    command("NEWGAME");
}

}  // namespace

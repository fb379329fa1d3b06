#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol.h"
#include "support.h"

using namespace Kelvo;

namespace {

// Runs one command line through the handler.
int run(const std::string& line) {
    std::vector<char> block(line.begin(), line.end());
    block.push_back('\0');
    return handleCommand(block.data(), MoveDecider());
}

std::string token(const char* line, int n, int* found = nullptr) {
    char dest[TOKEN_SIZE];
    const int ok = getToken(dest, line, n);
    if (found)
        *found = ok;
    return ok ? std::string(dest) : std::string("<none>");
}

}  // namespace

TEST(Tokens, OnlySpacesSeparateWords) {
    EXPECT_EQ(token("  GO", 0), "GO");
    EXPECT_EQ(token("A\tB C", 0), "A\tB");
    EXPECT_EQ(token("A\tB C", 1), "C");
    EXPECT_EQ(token("SCORE", 1), "<none>");
    // After a trailing space the next word exists and is empty.
    EXPECT_EQ(token("SCORE ", 1), "");
    EXPECT_EQ(token("SCORE  3  ", 2), "");
    EXPECT_EQ(token("SCORE  3  ", 3), "<none>");
}

TEST(Commands, PositionSetStateAndScore) {
    run("NEWGAME");
    std::string position = "POSITION";
    for (int i = 0; i < 32; ++i)
        position += " " + std::to_string(i) + ".5";
    EXPECT_EQ(run(position + "\r\n"), 1);
    EXPECT_EQ(gameState.stonePos[0][0], 0.5f);
    EXPECT_EQ(gameState.stonePos[15][1], 31.5f);

    EXPECT_EQ(run("POSITION 1 2 3 4 5 6 7 8 9 10"), 0);  // runs out of words
    EXPECT_EQ(gameState.stonePos[4][1], 10.0f);
    EXPECT_EQ(gameState.stonePos[5][0], 10.5f);           // kept

    run("SETSTATE 0 0 0 1");
    EXPECT_EQ(gameState.sideFlag, 1);
    EXPECT_EQ(run("SETSTATE 3 1 8"), 0);
    EXPECT_EQ(gameState.shotNumber, 3);
    EXPECT_EQ(gameState.endNumber, 1);
    EXPECT_EQ(gameState.finalEnd, 8);
    EXPECT_EQ(gameState.sideFlag, 1);

    run("score -2");
    EXPECT_EQ(gameState.endScores[1], -2);
    run("SCORE");
    EXPECT_EQ(gameState.endScores[1], -2);
    run("SCORE ");
    EXPECT_EQ(gameState.endScores[1], 0);

    run("NEWGAME");
    EXPECT_EQ(gameState.endScores[1], 0);
    EXPECT_EQ(gameState.stonePos[0][0], 0.0f);
    EXPECT_EQ(gameState.finalEnd, 0);
}

TEST(Commands, OddNumbersAreReadSafely) {
    run("NEWGAME");
    run("SETSTATE 99999999999999999999 -99999999999999999999 7x 1");
    EXPECT_EQ(gameState.shotNumber, 2147483647);
    EXPECT_EQ(gameState.endNumber, -2147483647 - 1);
    EXPECT_EQ(gameState.finalEnd, 7);
    // A score for an end outside the record changes nothing.
    run("SCORE 5");
    for (int e = 0; e < 10; ++e)
        EXPECT_EQ(gameState.endScores[e], 0);
    run("POSITION nan 1e400 -0 abc");
    EXPECT_TRUE(std::isnan(gameState.stonePos[0][0]));
    EXPECT_TRUE(std::isinf(gameState.stonePos[0][1]));
    EXPECT_EQ(gameState.stonePos[1][1], 0.0f);
    run("NEWGAME");
}

TEST(LineAssembly, JoinsSplitsAndDropsOverlongLines) {
    LineAssembler lines;
    std::vector<std::string> got;
    auto handle = [&](char* line) { got.emplace_back(line); };
    lines.feed("ISREADY\r\nGO\nPOSI", 16, handle);
    EXPECT_EQ(got, (std::vector<std::string>{"ISREADY", "GO"}));
    EXPECT_TRUE(lines.pending());
    lines.feed("TION 1\n", 7, handle);
    EXPECT_EQ(got.back(), "POSITION 1");
    const std::string longLine(2000, 'x');
    lines.feed(longLine.data(), longLine.size(), handle);
    lines.feed("\nISREADY", 8, handle);
    EXPECT_EQ(got.size(), 3u);
    lines.flush(handle);
    EXPECT_EQ(got.back(), "ISREADY");
    // A line of exactly 1023 bytes is still a line.
    const std::string limit(1023, 'y');
    lines.feed(limit.data(), limit.size(), handle);
    lines.feed("\n", 1, handle);
    EXPECT_EQ(got.back().size(), 1023u);
}

// The real binary over pipes.
class PlayerProcess : public ::testing::Test {
protected:
    void SetUp() override { child = KelvoTest::spawn(KELVO_BIN); }
    void TearDown() override {
        if (child.pid > 0)
            KelvoTest::finish(child);
    }
    std::string send(const std::string& bytes, int waitMs = 1500, size_t until = 0) {
        KelvoTest::writeAll(child.in, bytes);
        return KelvoTest::readFor(child.out, waitMs, until);
    }
    KelvoTest::Child child;
};

TEST_F(PlayerProcess, AnswersIsReadyExactly) {
    EXPECT_EQ(send("ISREADY\n", 5000, 7), "READYOK");
    EXPECT_EQ(send("isready\r\n", 1000, 7), "READYOK");
    EXPECT_EQ(send("IsReady   \n", 1000, 7), "READYOK");
    EXPECT_EQ(send("ISREADY2\nREADY\n\n   \n", 300), "");
}

TEST_F(PlayerProcess, HandlesEveryLineOfAWriteAndJoinsSplitLines) {
    EXPECT_EQ(send("NEWGAME\nISREADY\nISREADY\n", 5000, 14), "READYOKREADYOK");
    KelvoTest::writeAll(child.in, "ISRE");
    usleep(20000);
    EXPECT_EQ(send("ADY\n", 1000, 7), "READYOK");
    // A command sent with no line end is answered once the pipe is quiet.
    EXPECT_EQ(send("ISREADY", 1000, 7), "READYOK");
}

TEST_F(PlayerProcess, EndOfInputEndsTheProcessCleanly) {
    EXPECT_EQ(send("ISREADY\n", 5000, 7), "READYOK");
    const int status = KelvoTest::finish(child);
    child.pid = -1;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PlayerProcess, EndOfInputInsideALineStillHandlesIt) {
    KelvoTest::writeAll(child.in, "ISREADY");
    close(child.in);
    child.in = -1;
    EXPECT_EQ(KelvoTest::readFor(child.out, 5000, 7), "READYOK");
}

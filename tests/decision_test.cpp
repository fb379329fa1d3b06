#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <regex>
#include <string>

#include "engine.h"
#include "protocol.h"
#include "support.h"
#include "sweep.h"

using namespace Kelvo;

namespace {

// ---------------------------------------------------------------------------
// The vote and the choice by value

Proposal proposal(double x, double y, int spin, double value) {
    Proposal p;
    p.shot = Candidate{x, y, spin};
    p.value = value;
    p.ok = true;
    return p;
}

TEST(ChooseProposal, MostVotesWinsAndTheEarlierSlotOfAPairTakesTheVote) {
    // Four identical slots: votes 3, 2, 1, 0.
    const std::vector<Proposal> same = {proposal(0.1, -29, 0, -1), proposal(0.1, -29, 0, 0.5),
                              proposal(0.1, -29, 0, 0.9), proposal(0.1, -29, 0, 0.2)};
    EXPECT_EQ(chooseProposal(same), 0);

    // Slots 1 to 3 agree within the tolerance, slot 0 differs: votes 0, 2, 1, 0.
    const std::vector<Proposal> three = {proposal(1.0, -29, 0, 0.9), proposal(0.10, -29.00, 1, 0.1),
                               proposal(0.14, -29.04, 1, 0.2), proposal(0.12, -28.97, 1, 0.3)};
    EXPECT_EQ(chooseProposal(three), 1);

    // Only slots 0 and 3 agree: slot 0 has the single vote whatever the values.
    const std::vector<Proposal> ends = {proposal(0.5, -30, 0, -0.9), proposal(1.5, -30, 0, 0.9),
                              proposal(-1.5, -30, 0, 0.9), proposal(0.5, -30, 0, 0.9)};
    EXPECT_EQ(chooseProposal(ends), 0);
}

TEST(ChooseProposal, ToleranceIsStrictAndSpinMustMatch) {
    // 0.05 as a double lies below the widened single-precision tolerance.
    const std::vector<Proposal> inside = {proposal(-0.9, -3, 0, 0.0), proposal(0.0, -29.0, 0, 0.0),
                                proposal(0.05, -29.05, 0, 0.5), proposal(0.9, -3, 0, 0.0)};
    EXPECT_EQ(chooseProposal(inside), 1);
    const std::vector<Proposal> outside = {proposal(-0.9, -3, 0, 0.0), proposal(0.0, -29.0, 0, 0.0),
                                 proposal(0.0501, -29.0, 0, 0.5), proposal(0.9, -3, 0, 0.0)};
    EXPECT_EQ(chooseProposal(outside), 2);  // no agreement: by value
    // Slots 0 and 1 differ only in the spin: no agreement, slot 1 has the best value.
    const std::vector<Proposal> spinOnly = {proposal(0.1, -29, 0, 0.1), proposal(0.1, -29, 1, 0.3),
                                  proposal(2.1, -29, 0, 0.2), proposal(-2.1, -29, 1, 0.0)};
    EXPECT_EQ(chooseProposal(spinOnly), 1);
}

TEST(ChooseProposal, WithoutAgreementTheFirstStrictlyHighestValueAboveTheFloor) {
    const std::vector<Proposal> spread = {proposal(-1, -30, 0, -0.2), proposal(0, -30, 0, 0.4),
                                proposal(1, -30, 0, 0.4), proposal(2, -30, 0, 0.1)};
    EXPECT_EQ(chooseProposal(spread), 1);
    const std::vector<Proposal> none = {proposal(-1, -30, 0, -999.0), proposal(0, -30, 0, -999.0),
                              proposal(1, -30, 0, -999.0), proposal(2, -30, 0, -999.0)};
    EXPECT_EQ(chooseProposal(none), 0);
    const std::vector<Proposal> atFloor = {proposal(-1, -30, 0, -999.0), proposal(0, -30, 0, -99.0),
                                 proposal(1, -30, 0, -98.0), proposal(2, -30, 0, -99.0)};
    EXPECT_EQ(chooseProposal(atFloor), 2);
}

TEST(ChooseProposal, FailedSlotsNeitherGainNorGiveVotes) {
    std::vector<Proposal> failedMatch = {proposal(0.1, -29, 0, 0), proposal(0.1, -29, 0, 0), proposal(3, -20, 1, 0.2),
                               proposal(-3, -20, 1, 0.1)};
    failedMatch[0].ok = false;
    failedMatch[0].value = FAILED_VALUE;
    EXPECT_EQ(chooseProposal(failedMatch), 2);  // slot 1 has no partner left: by value

    std::vector<Proposal> allFailed(4);
    EXPECT_EQ(chooseProposal(allFailed), 0);
}

TEST(ChooseProposal, AnyNumberOfInstancesVotesAlike) {
    EXPECT_EQ(chooseProposal({proposal(0.1, -29, 0, -5)}), 0);
    // Six slots: 4 and 5 agree with each other, 1, 2 and 3 with each other.
    const std::vector<Proposal> six = {proposal(3, -29, 0, 0.9), proposal(1, -29, 0, 0.1), proposal(1, -29, 0, 0.1),
                                       proposal(1, -29, 0, 0.1), proposal(2, -29, 1, 0.5), proposal(2, -29, 1, 0.5)};
    EXPECT_EQ(countVotes(six), (std::vector<int>{0, 2, 1, 0, 1, 0}));
    EXPECT_EQ(chooseProposal(six), 1);
}

TEST(FormatAnswer, ComponentsPassThroughSinglePrecision) {
    EXPECT_EQ(formatAnswer(Candidate{0.1, -29.56, 0}), "BESTSHOT 0.100000 -29.559999 0");
    EXPECT_EQ(formatAnswer(Candidate{-1.25, -31.0, 1}), "BESTSHOT -1.250000 -31.000000 1");
}

// ---------------------------------------------------------------------------
// Game states that cannot form a board

_GAMESTATE emptyState(int shot, int end) {
    _GAMESTATE s;
    s.shotNumber = shot;
    s.endNumber = end;
    s.finalEnd = 8;
    return s;
}

TEST(PlayableState, ShotEndAndStoneCountsAreChecked) {
    EXPECT_TRUE(isPlayableState(emptyState(0, 0)));
    EXPECT_TRUE(isPlayableState(emptyState(15, 9)));
    EXPECT_FALSE(isPlayableState(emptyState(16, 0)));
    EXPECT_FALSE(isPlayableState(emptyState(-1, 0)));
    EXPECT_TRUE(isPlayableState(emptyState(0, 10)));  // an extra end past the kept scores
    EXPECT_FALSE(isPlayableState(emptyState(0, -1)));

    // The tee in the server frame; stones at (0, 0) are off the sheet.
    _GAMESTATE s = emptyState(0, 0);
    s.stonePos[0][0] = 2.375f;
    s.stonePos[0][1] = 4.88f;
    std::string why;
    EXPECT_FALSE(isPlayableState(s, &why));  // a BLACK stone before any throw
    EXPECT_NE(why.find("BLACK"), std::string::npos);
    s.shotNumber = 1;
    EXPECT_TRUE(isPlayableState(s));
    s.stonePos[1][0] = 2.0f;  // a WHITE stone before WHITE threw
    s.stonePos[1][1] = 5.5f;
    EXPECT_FALSE(isPlayableState(s));
    s.shotNumber = 2;
    EXPECT_TRUE(isPlayableState(s));
    s.stonePos[2][0] = 1.5f;  // a second BLACK stone at shot 2
    s.stonePos[2][1] = 5.5f;
    EXPECT_FALSE(isPlayableState(s));
    s.shotNumber = 3;
    EXPECT_TRUE(isPlayableState(s));
}

TEST(Decide, UnplayableStateAnswersNothingAndReportsOneLine) {
    Engine engine = KelvoTest::engine(KelvoTest::withBudget(10));
    const Decision d = engine.decide(emptyState(16, 0));
    EXPECT_FALSE(d.playable);
    EXPECT_EQ(d.answer, "");
    testing::internal::CaptureStderr();
    const std::string answer = engineDecider(engine)(emptyState(16, 0));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, "");
    EXPECT_EQ(err, "kelvo: GO ignored: " + d.why + "\n");
}

// ---------------------------------------------------------------------------
// Short searches through the engine

TEST(Decide, AnswersABestShotAndKeepsTheFirstEndFlag) {
    const std::regex bestShot(R"(BESTSHOT -?\d+\.\d{6} -?\d+\.\d{6} [01])");
    Engine engine = KelvoTest::engine(KelvoTest::withBudget(30));
    // First move request of a game at end 0, shot 1: the player holds the
    // hammer of the first end.
    _GAMESTATE s = emptyState(1, 0);
    const Decision first = engine.decide(s);
    EXPECT_TRUE(std::regex_match(first.answer, bestShot)) << first.answer;
    EXPECT_EQ(first.answer, formatAnswer(first.shot));
    EXPECT_TRUE(engine.scratch().firstEndHammer);

    // Two ends later, BLACK (positive scores) leads by 3; for a player that
    // had the first-end hammer that is a deficit of 3.
    s = emptyState(0, 2);
    s.endScores[0] = 2;
    s.endScores[1] = 1;
    EXPECT_EQ(engine.decide(s).search.strategies.own, STEAL);

    // A new game whose first request is at end 0, shot 0 clears the flag.
    engine.decide(emptyState(0, 0));
    const StrategyPair cleared = engine.decide(s).search.strategies;
    EXPECT_EQ(cleared.own, PREVENT_MULTI);
    EXPECT_EQ(cleared.opp, SCORE3_OR_MORE);

    // An extra end past the ten kept scores of a tied game is played.
    s = emptyState(1, 12);
    s.finalEnd = 12;
    s.endScores[0] = 1;
    s.endScores[9] = -1;
    EXPECT_TRUE(std::regex_match(engine.decide(s).answer, bestShot));
}

// ---------------------------------------------------------------------------
// Through the binary

TEST(Binary, GoAnswersOneBestShotAndAnImpossibleStateNothing) {
    KelvoTest::Child child = KelvoTest::spawn(KELVO_BIN);
    ASSERT_GT(child.pid, 0);
    KelvoTest::writeAll(child.in, "NEWGAME\nISREADY\n");
    EXPECT_EQ(KelvoTest::readFor(child.out, 10000, 7), "READYOK");

    std::string position = "POSITION";
    for (int i = 0; i < 32; ++i)
        position += " 0";
    // One BLACK stone in the house before the player's (WHITE) first shot.
    position.replace(position.find(" 0"), 4, " 2.4 4.5");
    KelvoTest::writeAll(child.in, position + "\nSETSTATE 1 0 8 0\nGO\n");
    const std::string answer = KelvoTest::readFor(child.out, 9000, 1);
    EXPECT_TRUE(std::regex_match(answer, std::regex(R"(BESTSHOT -?\d+\.\d{6} -?\d+\.\d{6} [01])"))) << answer;

    KelvoTest::writeAll(child.in, "SETSTATE 16 0 8 0\nGO\nSETSTATE 0 0 8 0\nGO\nISREADY\n");
    EXPECT_EQ(KelvoTest::readFor(child.out, 3000, 7), "READYOK");
    EXPECT_EQ(KelvoTest::readFor(child.out, 200), "");
    const int status = KelvoTest::finish(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace

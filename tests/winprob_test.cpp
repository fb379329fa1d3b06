// The chance of winning: the recursion over ends, the kept data, and what
// the win objective makes of a finished end and of the strategies.
#include <gtest/gtest.h>

#include "strategy.h"
#include "support.h"
#include "winprob/winprob.h"

namespace {

using namespace Kelvo;

// The same chances of end scores at every lead (hammer side's view).
EndScoreCounts everyLead(std::initializer_list<std::pair<int, double>> chances) {
    EndScoreCounts c;
    for (EndScoreRow& row : c.byLead)
        for (const auto& [score, p] : chances)
            row[size_t(score + END_SCORE_MAX)] = p;
    return c;
}

TEST(WinTable, RecursionFollowsTheHammerAndExtraEnds) {
    // The hammer always scores one: whoever holds it at a tie wins.
    const WinTable one = buildWinTable(everyLead({{1, 1.0}}));
    EXPECT_EQ(one.at(0, 0, true), 1.0);
    EXPECT_EQ(one.at(1, 0, false), 0.0);
    // Score one, give the hammer away, concede one, tie with the hammer.
    EXPECT_EQ(one.at(2, 0, true), 1.0);
    EXPECT_EQ(one.at(3, -1, false), 0.0);
    EXPECT_EQ(one.at(0, 1, false), 1.0);

    // Extra ends: 0.6 to score, 0.2 blank, 0.2 stolen; after ten blanks a draw.
    const WinTable mixed = buildWinTable(everyLead({{1, 0.6}, {0, 0.2}, {-1, 0.2}}));
    double x = 0.5;
    for (int k = 0; k < WP_EXTRA_ENDS; ++k)
        x = 0.6 + 0.2 * x;
    EXPECT_NEAR(mixed.at(0, 0, true), x, 1e-12);
    // Both sides' chances add up to one in every situation (a draw is half
    // to each), with any chances.
    EndScoreCounts counts = everyLead({{3, 1}, {2, 3}, {1, 9}, {0, 4}, {-1, 5}, {-2, 1}});
    counts.byLead[0][size_t(END_SCORE_MAX + 2)] += 20;  // behind: plays for two
    const WinTable t = buildWinTable(endScoreChances(counts));
    for (int ends = 0; ends <= 10; ++ends)
        for (int lead = -6; lead <= 6; ++lead)
            for (bool hammer : {false, true})
                ASSERT_NEAR(t.at(ends, lead, hammer) + t.at(ends, -lead, !hammer), 1.0, 1e-9)
                    << ends << " " << lead << " " << hammer;
    // More ends to play bring a trailing side closer to even.
    EXPECT_LT(t.at(1, -2, true), t.at(5, -2, true));
}

TEST(WinTable, KeptDataParsesForBothIcesAndDamageIsRefused) {
    for (const char* ice : {"classic", "fcv1"}) {
        EndScoreCounts counts;
        std::string why;
        ASSERT_TRUE(parseEndScores(endScoresText(), ice, counts, why)) << why;
        double ends = 0;
        for (int b = 0; b < LEAD_BUCKETS; ++b)
            ends += counts.total(b);
        EXPECT_GT(ends, 0) << ice;
    }
    EndScoreCounts counts;
    std::string why;
    EXPECT_FALSE(parseEndScores("classic 0 1 2 3\n", "classic", counts, why));
    EXPECT_FALSE(parseEndScores("classic 3 0 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0 0\n", "classic", counts, why));
    EXPECT_FALSE(parseEndScores("# nothing\n", "fcv1", counts, why));
    EXPECT_TRUE(parseEndScores("classic -2 0 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0 0 # blank\n", "classic", counts, why));
    EXPECT_EQ(counts.total(0), 1);
}

TEST(WinObjective, LastEndTiedValuesAndStrategiesFollowTheGame) {
    const WinTable& win = winTableFor(IceKind::CLASSIC);
    // The last end, tied: WHITE holds the hammer.
    ThinkBoard board = KelvoTest::makeBoard(1, {});
    board.endsLeft = 0;
    EXPECT_EQ(winAfterEnd(win, board, WHITE, 1), 1.0);
    EXPECT_EQ(winAfterEnd(win, board, WHITE, -1), 0.0);
    EXPECT_GT(winAfterEnd(win, board, WHITE, 0), 0.5);  // a blank keeps the hammer for the extra end
    EXPECT_LT(winAfterEnd(win, board, BLACK, 0), 0.5);
    StrategyPair s = selectStrategies(board, WHITE, &win);
    EXPECT_EQ(s.own, PREVENT_STEAL);  // one point wins
    EXPECT_EQ(s.opp, STEAL);          // only a steal wins
    // A finished end is worth the chance after its score: WHITE scored one.
    board.endScore = -1;
    EXPECT_EQ(endValue(board, WHITE, s), 1.0);
    EXPECT_EQ(endValue(board, BLACK, selectStrategies(board, BLACK, &win)), 0.0);
    // Without a table: the strategies' own table, as always.
    EXPECT_EQ(endValue(board, WHITE, selectStrategies(board, WHITE)), evaluateEnd(board, SCORE2));
}

}  // namespace

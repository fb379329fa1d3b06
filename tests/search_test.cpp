#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "engine.h"
#include "kelvosim/classic/fastsimulator.h"
#include "kelvosim/classic/noise.h"
#include "support.h"
#include "sweep.h"

using namespace Kelvo;
using KelvoTest::makeBoard;

namespace {

// ---------------------------------------------------------------------------
// End strategy

TEST(SelectStrategy, EveryBoundaryOfBothRows) {
    struct Cell {
        bool last;
        int lead;
        int expected;
    };
    const Cell cells[] = {
        {false, -3, STEAL},          {false, -2, STEAL},          {false, -1, STEAL},
        {false, 0, FORCE1},          {false, 2, FORCE1},          {false, 3, PREVENT_MULTI},
        {true, -3, SCORE3_OR_MORE},  {true, -2, SCORE2},          {true, -1, SCORE2},
        {true, 0, SCORE2},           {true, 2, SCORE2},           {true, 3, PREVENT_STEAL},
    };
    for (const Cell& c : cells)
        EXPECT_EQ(selectStrategy(c.last, c.lead), c.expected) << c.last << " lead " << c.lead;
}

TEST(SelectStrategy, PairTakesTheLeadFromTheFirstEndHammerFlag) {
    ThinkBoard board;
    resetBoard(board);
    board.scoreDiff = 3;

    board.firstEndHammer = false;  // lead 3 for the player
    StrategyPair withLast = selectStrategies(board, WHITE);
    EXPECT_EQ(withLast.own, PREVENT_STEAL);
    EXPECT_EQ(withLast.opp, STEAL);
    StrategyPair withoutLast = selectStrategies(board, BLACK);
    EXPECT_EQ(withoutLast.own, PREVENT_MULTI);
    EXPECT_EQ(withoutLast.opp, SCORE3_OR_MORE);

    board.firstEndHammer = true;  // the same scores are a deficit of 3
    withLast = selectStrategies(board, WHITE);
    EXPECT_EQ(withLast.own, SCORE3_OR_MORE);
    EXPECT_EQ(withLast.opp, PREVENT_MULTI);
    withoutLast = selectStrategies(board, BLACK);
    EXPECT_EQ(withoutLast.own, STEAL);
    EXPECT_EQ(withoutLast.opp, PREVENT_STEAL);

    board.scoreDiff = 0;
    const StrategyPair level = selectStrategies(board, BLACK);
    EXPECT_EQ(level.own, FORCE1);
    EXPECT_EQ(level.opp, SCORE2);
}

// ---------------------------------------------------------------------------
// Evaluation

TEST(EvaluateEnd, WholeTableWithClampedColumns) {
    struct Row {
        Strategy strategy;
        double values[9];  // endScore -4 .. 4
    };
    const Row rows[] = {
        {FORCE1, {-1.0, -1.0, -0.5, 1.0, 0, 1.0, 1.0, 1.0, 1.0}},
        {STEAL, {-1.0, -1.0, -0.666, -0.333, 0, 1.0, 1.0, 1.0, 1.0}},
        {PREVENT_MULTI, {-1.0, -1.0, -0.5, 1.0, 0, 1.0, 1.0, 1.0, 1.0}},
        {SCORE2, {1.5, 1.5, 1.0, 0.5, 0, -0.333, -0.666, -1.0, -1.0}},
        {SCORE3_OR_MORE, {1.0, 1.0, 0.666, 0.333, 0, -0.333, -0.666, -1.0, -1.0}},
        {PREVENT_STEAL, {0.5, 0.5, 1.0, 1.0, 0, -0.333, -0.666, -1.0, -1.0}},
    };
    ThinkBoard board;
    resetBoard(board);
    for (const Row& row : rows)
        for (int e = -4; e <= 4; ++e) {
            board.endScore = e;
            EXPECT_EQ(evaluateEnd(board, row.strategy), row.values[e + 4])
                << "strategy " << row.strategy << " endScore " << e;
        }
}

// ---------------------------------------------------------------------------
// Execution noise

// Recovers the target error (ex, ey) from a velocity change by inverting the
// straight draw and the skew.
void impliedError(double dx, double dy, double& ex, double& ey) {
    const double vx = NOISE_REF_VX - dx;
    const double vy = NOISE_REF_VY - dy;
    const double speed = std::hypot(vx, vy);
    const double length = speed * speed / NOISE_DRAW_FACTOR;
    const double u = length * vx / speed + NOISE_CURL_OFFSET;
    const double w = length * vy / speed - TEE_TO_THROW;
    const double s = NOISE_CURL_SKEW;
    ex = (u - s * w) / (1 + s * s);
    ey = (w + s * u) / (1 + s * s);
}

TEST(Noise, ZeroErrorIsTheReferenceDraw) {
    double dx = 1, dy = 1;
    noiseFromError(0, 0, dx, dy);
    EXPECT_LT(std::fabs(dx), 2e-7);
    EXPECT_LT(std::fabs(dy), 2e-7);
}

TEST(Noise, ErrorStepInvertsToItsInput) {
    const double errors[][2] = {{0.3, -0.2}, {-0.5, 0.4}, {0.01, 0.0}};
    for (const auto& err : errors) {
        double dx, dy, ex, ey;
        noiseFromError(err[0], err[1], dx, dy);
        impliedError(dx, dy, ex, ey);
        EXPECT_NEAR(ex, err[0], 1e-6);
        EXPECT_NEAR(ey, err[1], 1e-6);
    }
    // A target error to the right (+x) needs more sideways speed.
    double dx, dy;
    noiseFromError(0.3, 0, dx, dy);
    EXPECT_LT(dx, 0);
}

TEST(Noise, ImpliedTargetErrorsAreGaussianWithTheModelSigma) {
    dsfmt_t rng;
    dsfmt_init_gen_rand(&rng, 20240611u);
    constexpr int N = 100000;
    double sum[2] = {}, sumSq[2] = {};
    for (int i = 0; i < N; ++i) {
        double dx, dy, e[2];
        sampleNoise(rng, dx, dy);
        impliedError(dx, dy, e[0], e[1]);
        for (int a = 0; a < 2; ++a) {
            sum[a] += e[a];
            sumSq[a] += e[a] * e[a];
        }
    }
    // Five standard errors: sigma/sqrt(N) for the mean, sigma/sqrt(2N) for
    // the standard deviation of a normal sample.
    const double meanTol = 5 * NOISE_SIGMA / std::sqrt(double(N));
    const double sdTol = 5 * NOISE_SIGMA / std::sqrt(2.0 * N);
    for (int a = 0; a < 2; ++a) {
        const double mean = sum[a] / N;
        const double sd = std::sqrt(sumSq[a] / N - mean * mean);
        EXPECT_NEAR(mean, 0.0, meanTol) << "axis " << a;
        EXPECT_NEAR(sd, NOISE_SIGMA, sdTol) << "axis " << a;
    }
}

TEST(Noise, DrawsAreOpenAndTheBlockIsRefilledAfter382) {
    dsfmt_t a, b;
    dsfmt_init_gen_rand(&a, 7u);
    dsfmt_init_gen_rand(&b, 7u);
    for (int i = 0; i < 382; ++i) {
        const double u = drawOpen(a);
        EXPECT_GT(u, 0.0);
        EXPECT_LT(u, 1.0);
        drawOpen(b);
    }
    const double draw383 = drawOpen(a);
    // The expected value: the first entry of the next block, lowest bit set.
    dsfmt_gen_rand_all(&b);
    uint64_t bits = b.status[0].u[0] | 1;
    double fresh;
    std::memcpy(&fresh, &bits, sizeof fresh);
    EXPECT_EQ(draw383, fresh - 1.0);
    EXPECT_EQ(a.idx, 1);
}

TEST(Noise, SeedsSeparateGeneratorsAndAnExplicitSeedRepeats) {
    const uint32_t s1 = freshSeed();
    const uint32_t s2 = freshSeed();
    EXPECT_NE(s1, s2);
    dsfmt_t a, b;
    dsfmt_init_gen_rand(&a, s1);
    dsfmt_init_gen_rand(&b, s2);
    double ax, ay, bx, by;
    sampleNoise(a, ax, ay);
    sampleNoise(b, bx, by);
    EXPECT_FALSE(ax == bx && ay == by);

    dsfmt_init_gen_rand(&a, 99u);
    dsfmt_init_gen_rand(&b, 99u);
    for (int i = 0; i < 500; ++i) {
        sampleNoise(a, ax, ay);
        sampleNoise(b, bx, by);
        ASSERT_EQ(ax, bx);
        ASSERT_EQ(ay, by);
    }
}

// ---------------------------------------------------------------------------
// Shot simulation

class SearchWithTables : public testing::Test {
protected:
    const MotionTables& tables = KelvoTest::tables();
};

TEST_F(SearchWithTables, LoneStoneRestsOnTheSheetOrIsNotPlaced) {
    // A draw to the tee on an empty sheet before the first stone.
    ThinkBoard board = makeBoard(16, {});
    Candidate draw{0, 0, 0};
    drawTo(tables, Vec2{0, 0}, draw);
    ShotChange code = simulateShot(board, draw);
    ASSERT_EQ(code, CHANGE_ADDED);
    EXPECT_EQ(board.count[BLACK], 1);
    EXPECT_LT(board.stones[BLACK][0].r, 0.01);
    applyShot(board, code);

    // Far beyond the table's fastest speed, straight and wide: the stone
    // would rest behind the back line or beside the sheet. It is not placed,
    // so the free guard zone bookkeeping never meets a stone off the sheet.
    const Candidate wild[] = {{0, 80, 0}, {0, 80, 1}, {9, 28, 0}, {-9, 28, 1}};
    for (const Candidate& shot : wild) {
        board = makeBoard(16, {});
        code = simulateShot(board, shot);
        EXPECT_EQ(code, CHANGE_NONE) << shot.x << "," << shot.y;
        EXPECT_EQ(stonesOnSheet(board), 0);
        applyShot(board, code);
        EXPECT_EQ(board.turn, 15);
    }
}

TEST_F(SearchWithTables, ShotsThatCannotReachStayClearOthersStrike) {
    // A stone on the tee; a guard stopping well short of it adds one stone.
    ThinkBoard board = makeBoard(15, {{BLACK, 0.0, 0.0}});
    Candidate guard{0, 0, 0};
    drawTo(tables, Vec2{0, -5}, guard);
    ShotChange code = simulateShot(board, guard);
    EXPECT_EQ(code, CHANGE_ADDED);
    EXPECT_EQ(board.count[WHITE], 1);

    // A hard hit on it rebuilds the board (two stones: the two-stone move).
    board = makeBoard(15, {{BLACK, 0.0, 0.0}});
    Candidate hit{0, 0, 0};
    hitAt(tables, Vec2{0, 0}, 33, hit);
    code = simulateShot(board, hit);
    EXPECT_EQ(code, CHANGE_REBUILT);
    applyShot(board, code);
    EXPECT_EQ(board.count[BLACK], 0);  // knocked out of play

    // The same with more stones on the sheet goes through the general move.
    board = makeBoard(13, {{BLACK, 0.0, 0.0}, {WHITE, 1.5, -1.0}, {BLACK, -1.5, 1.0}});
    code = simulateShot(board, hit);
    EXPECT_EQ(code, CHANGE_REBUILT);
    applyShot(board, code);
    EXPECT_EQ(board.turn, 12);
}

TEST_F(SearchWithTables, PlayoutThrowsEveryRemainingStone) {
    const StrategyPair pair{SCORE2, FORCE1};
    for (int turn : {16, 7, 1}) {
        ThinkBoard board = makeBoard(turn, {});
        const double v = playout(board, WHITE, pair);
        EXPECT_EQ(board.turn, 0);
        EXPECT_EQ(v, evaluateEnd(board, SCORE2));
    }
    // At the end of an end the playout is the evaluation of the position.
    ThinkBoard done = makeBoard(1, {{WHITE, 0.1, 0.0}});
    applyShot(done, CHANGE_NONE);
    EXPECT_EQ(playout(done, WHITE, pair), 0.5);
}

TEST_F(SearchWithTables, VisitCacheReplaysThePlainPlayoutsDrawForDraw) {
    // Playouts from one board through the visit cache and plain playouts on
    // generators seeded alike must consume the same draws and reach the same
    // values, for either side and down to the last stone.
    const std::vector<KelvoTest::StoneAt> stones = {{BLACK, 0.1, 0.2},  {WHITE, -0.4, -0.3}, {BLACK, 0.05, -3.0},
                                         {WHITE, 0.7, 0.5},  {BLACK, -0.9, -0.6}, {WHITE, 0.3, -4.2}};
    struct Case {
        int turn;
        Colour mover;
        StrategyPair pair;
    };
    for (const Case& c : {Case{8, WHITE, {SCORE2, FORCE1}}, Case{9, BLACK, {STEAL, SCORE2}},
                          Case{2, WHITE, {PREVENT_STEAL, PREVENT_MULTI}}, Case{1, BLACK, {FORCE1, SCORE2}}}) {
        const ThinkBoard afterShot = makeBoard(c.turn, stones);
        const VisitCachePtr cache = makeVisitCache();
        startVisit(*cache, afterShot, c.mover, c.pair);
        PlayoutRandom cached(7, 8), plain(7, 8);
        for (int k = 0; k < 300; ++k) {
            ThinkBoard board = afterShot;
            ASSERT_EQ(playoutFromVisit(*cache, cached), playout(board, c.mover, c.pair, plain)) << c.turn << " " << k;
        }
        EXPECT_EQ(cached.pick(), plain.pick());
        EXPECT_EQ(drawOpen(cached.noise), drawOpen(plain.noise));
    }
    // Generators made at once give different streams.
    const std::unique_ptr<PlayoutRandom> a = freshPlayoutRandom(), b = freshPlayoutRandom();
    EXPECT_NE(drawOpen(a->noise), drawOpen(b->noise));
}

// ---------------------------------------------------------------------------
// The search

TEST(FoldVisit, RunningMeanAndStrictlyBetterBest) {
    SweepTally t;
    foldVisit(t, 0, -5.0 * 4, 4);  // anything above NO_VALUE becomes the best
    EXPECT_EQ(t.bestIndex, 0);
    EXPECT_EQ(t.bestValue, -5.0);
    foldVisit(t, 0, 21.6, 4);  // the mean over all 8 playouts
    EXPECT_DOUBLE_EQ(t.mean[0], (-20.0 + 21.6) / 8);
    EXPECT_EQ(t.visits[0], 8u);

    SweepTally s;
    foldVisit(s, 0, 0.4, 1);
    foldVisit(s, 1, 0.4, 1);  // equal is not better: the earlier index keeps it
    EXPECT_EQ(s.bestIndex, 0);
    foldVisit(s, 1, 1.0, 1);  // mean 0.7
    EXPECT_EQ(s.bestIndex, 1);
    EXPECT_DOUBLE_EQ(s.bestValue, 0.7);
    EXPECT_EQ(s.playouts, 3u);
}

TEST(FoldVisit, ALuckyFirstVisitDoesNotKeepTheLead) {
    SweepTally t;
    foldVisit(t, 0, 1.0 * 4, 4);  // lucky: mean 1.0
    foldVisit(t, 1, 0.5 * 4, 4);  // steady: mean 0.5
    EXPECT_EQ(t.bestIndex, 0);
    foldVisit(t, 0, 0.0 * 12, 12);  // candidate 0 falls to 0.25
    foldVisit(t, 1, 0.5 * 4, 4);
    EXPECT_EQ(t.bestIndex, 1);
    EXPECT_DOUBLE_EQ(t.bestValue, 0.5);
    // The lead returns when the mean recovers above the other's.
    foldVisit(t, 0, 1.0 * 16, 16);
    EXPECT_EQ(t.bestIndex, 0);
    EXPECT_DOUBLE_EQ(t.bestValue, 0.625);
}

TEST_F(SearchWithTables, SingleCandidateIsReturnedWithTheServersOrientation) {
    const ThinkBoard root = makeBoard(3, {{BLACK, 0.2, 0.1}, {WHITE, -0.5, 0.6}});
    Candidate only{0, 0, 1};
    drawTo(tables, Vec2{0.0, 0.0}, only);
    SearchRandom random = makeSearchRandom(5u, 0, PositionKey{});
    Candidate out{9, 9, 9};
    SweepTally tally;
    const double v = searchCandidates(root, &only, 1, WHITE, StrategyPair{SCORE2, FORCE1}, random, &out,
                                      KelvoTest::withBudget(100), &tally);
    EXPECT_EQ(out.x, only.x);
    EXPECT_EQ(out.y, -only.y);
    EXPECT_EQ(out.spin, 1);
    EXPECT_EQ(tally.bestIndex, 0);
    EXPECT_EQ(v, tally.bestValue);
    EXPECT_EQ(v, tally.mean[0]);
    EXPECT_GT(tally.visits[0], 0u);
    EXPECT_EQ(tally.visits[0], tally.playouts);
    EXPECT_GT(tally.elapsedMs, 100);
}

TEST_F(SearchWithTables, NoCandidateEndsAtOnce) {
    const ThinkBoard root = makeBoard(16, {});
    SearchRandom random = makeSearchRandom(5u, 0, PositionKey{});
    Candidate out{9, 9, 1};
    EXPECT_EQ(searchCandidates(root, nullptr, 0, BLACK, StrategyPair{FORCE1, SCORE2}, random, &out,
                               KelvoTest::withBudget(100)),
              NO_VALUE);
    EXPECT_EQ(out.x, 0);
    EXPECT_EQ(out.y, 0);
    EXPECT_EQ(out.spin, 0);
}

// The last stone of an end against one opponent stone alone in the house:
// whatever the search picks must, thrown as planned, leave WHITE scoring.
// The best is the first candidate whose running mean reaches the top value,
// so these are positions where the candidates that score under noise also
// score thrown as planned (on a stone exactly on the tee none does).
TEST_F(SearchWithTables, LastStoneAgainstALoneOpponentStoneScores) {
    const float blackStones[][2] = {{3.3f, 4.2f}, {1.9f, 5.9f}};
    for (const auto& at : blackStones) {
        _GAMESTATE state;
        state.shotNumber = 15;
        state.finalEnd = 8;
        state.stonePos[0][0] = at[0];
        state.stonePos[0][1] = at[1];
        const SearchRoot root = prepareRoot(state, makeBoard(16, {}));
        EXPECT_EQ(root.mover, WHITE);
        EXPECT_EQ(root.strategies.own, SCORE2);
        EXPECT_EQ(root.strategies.opp, FORCE1);
        Candidate out;
        SweepTally tally;
        const double v = runSearch(root, &out, KelvoTest::withBudget(300), 0, &tally);
        EXPECT_GT(v, 0.0);

        ThinkBoard after = root.board;
        const Candidate planned{out.x, -out.y, out.spin};
        applyShot(after, simulateShot(after, planned));
        EXPECT_LT(after.endScore, 0) << "stone at " << at[0] << "," << at[1] << " shot " << out.x << ","
                                     << out.y << "," << out.spin;
    }
}

// The pooled search counts its budget from the move request's start. A
// search whose budget is gone before its first round visits nothing and
// answers a draw to the tee, saying why; one that starts in time gives every
// candidate its first visit, however short its first round.
TEST_F(SearchWithTables, APooledSearchAnswersSoundlyHoweverShortItsBudget) {
    _GAMESTATE state;
    state.shotNumber = 8;
    state.endNumber = 2;
    state.finalEnd = 8;
    const float stones[8][2] = {{2.30f, 4.70f}, {2.55f, 5.10f}, {2.40f, 7.80f}, {1.90f, 4.20f},
                                {3.40f, 5.60f}, {2.20f, 8.40f}, {2.70f, 3.60f}, {1.20f, 7.00f}};
    std::copy(&stones[0][0], &stones[0][0] + 16, &state.stonePos[0][0]);
    SearchSettings strong;
    strong.allocation = Allocation::HALVING;
    strong.widen = true;
    strong.playoutsPerVisit = 8;
    strong.budgetMs = 100;
    SearchRoot root = prepareRoot(state, makeBoard(16, {}));

    root.started = SearchClock::now() - std::chrono::seconds(1);
    const SearchResult late = search(root, strong);
    EXPECT_EQ(late.answerShot, -1);
    EXPECT_NE(late.note.find("no shot was visited"), std::string::npos) << late.note;
    EXPECT_EQ(late.instances[0].visits, 0u);
    Candidate draw{0, 0, 1};
    drawTo(tables, Vec2{0, 0}, draw);
    EXPECT_EQ(late.answer.x, draw.x);
    EXPECT_EQ(late.answer.y, -draw.y);
    EXPECT_EQ(late.answer.spin, 1);

    root.started = SearchClock::now();
    const SearchResult quick = search(root, strong);
    EXPECT_TRUE(quick.note.empty()) << quick.note;
    ASSERT_GE(quick.answerShot, 0);
    EXPECT_GT(quick.shots[quick.answerShot].stats.playouts, 0u);
    ASSERT_GT(quick.candidates, 0);
    for (int32_t i = 0; i < quick.candidates; ++i)
        EXPECT_GT(quick.shots[i].stats.executions, 0u) << "candidate " << i;
}

}  // namespace

// Candidate sets on positions built for each rule. The expected lists are
// built independently from the target points the rules aim at, through the
// shot inversion, and compared entry by entry (targets and spins).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "candidates.h"
#include "kelvosim/classic/fastsimulator.h"
#include "support.h"

using namespace Kelvo;
using KelvoTest::makeBoard;
using KelvoTest::StoneAt;

namespace {

// An expected candidate; tol 0 means bit-exact.
struct Want {
    Candidate c;
    double tol = 0;
    std::string what;
};

Want draw(double x, double y, int spin) {
    Candidate c;
    c.spin = spin;
    drawTo(KelvoTest::tables(), Vec2{x, y}, c);
    return {c, 0, "draw " + std::to_string(x) + "," + std::to_string(y)};
}

Want takeout(double x, double y) {
    Candidate c;
    c.spin = x > 0 ? 1 : 0;
    hitAt(KelvoTest::tables(), Vec2{x, y - 0.29 - 0.01}, 33.0, c);
    return {c, 0, "takeout " + std::to_string(x) + "," + std::to_string(y)};
}

Want freeze(double x, double y) {
    Candidate c;
    c.spin = 1;
    drawTo(KelvoTest::tables(), Vec2{x, y - double(0.29f)}, c);
    return {c, 0, "freeze " + std::to_string(x) + "," + std::to_string(y)};
}

Want tap(double x, double y, int spin) {
    Candidate c;
    c.spin = spin;
    passThrough(KelvoTest::tables(), Vec2{x, y - 0.29 - 0.01}, std::fabs(y), c);
    return {c, 0, "tap " + std::to_string(x) + "," + std::to_string(y)};
}

// Passes one metre from the stone toward the thrower, 10.15 degrees to its
// outer side.
Want comeAround(double x, double y) {
    const bool right = x > 0;
    const double phi = right ? 1.393645407717472 : 1.747947245872321;
    Candidate c;
    c.spin = right ? 1 : 0;
    const double extra = right ? x + 2.675 : 2.075 - x;
    passThrough(KelvoTest::tables(), Vec2{x + std::cos(phi), y - std::sin(phi) - 0.01}, extra, c);
    return {c, 1e-9, "come-around " + std::to_string(x) + "," + std::to_string(y)};
}

// Strikes A so that it leaves toward B: the aim lies 2 R from A against the
// direction to B, behind A (the line of the hit) or in front of A (the
// striking stone's centre at contact). Computed in double precision; the set
// keeps the angle in single precision, hence the tolerance.
Want hitToward(Vec2 a, Vec2 b, bool contact) {
    const double theta = std::atan2(b.y - a.y, b.x - a.x);
    const double twoR = 2 * STONE_R;
    const double offY = twoR * std::sin(theta);
    Candidate c;
    c.spin = theta > M_PI / 2 ? 1 : 0;
    hitAt(KelvoTest::tables(), Vec2{a.x - twoR * std::cos(theta), (contact ? a.y - offY : a.y + offY) - 0.01}, 33.0, c);
    return {c, 1e-5, std::string(contact ? "contact " : "hit ") + std::to_string(a.x) + "," + std::to_string(a.y)};
}

void expectList(const std::vector<Want>& want, const Candidate* got, int32_t n) {
    ASSERT_EQ(size_t(n), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i) + ": " + want[i].what);
        EXPECT_EQ(got[i].spin, want[i].c.spin);
        if (want[i].tol == 0) {
            EXPECT_EQ(got[i].x, want[i].c.x);
            EXPECT_EQ(got[i].y, want[i].c.y);
        } else {
            EXPECT_NEAR(got[i].x, want[i].c.x, want[i].tol);
            EXPECT_NEAR(got[i].y, want[i].c.y, want[i].tol);
        }
    }
}

using Set = int32_t (*)(const ThinkBoard&, Candidate*);

void expectSet(Set set, const ThinkBoard& board, const std::vector<Want>& want) {
    Candidate got[MAX_CANDIDATES];
    const int32_t n = set(board, got);
    expectList(want, got, n);
}

std::vector<Want> join(std::initializer_list<std::vector<Want>> parts) {
    std::vector<Want> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<Want> teeDraws() { return {draw(0, 0, 1), draw(0, 0, 0)}; }
std::vector<Want> leftCorners() { return {draw(-double(1.22f), -5.0, 1), draw(-double(1.22f), -2.5, 1)}; }
std::vector<Want> rightCorners() { return {draw(double(1.22f), -5.0, 0), draw(double(1.22f), -2.5, 0)}; }
std::vector<Want> pairs(Vec2 a, Vec2 b) { return {hitToward(a, b, false), hitToward(a, b, true)}; }

class Candidates : public ::testing::Test {
protected:
    const MotionTables& tables = KelvoTest::tables();
};

// ---------------------------------------------------------------------------
// Helpers

TEST_F(Candidates, GuardCountsByLane) {
    // In the house: not a guard. Exactly on the lane edge: no lane.
    const ThinkBoard board = makeBoard(3, {{BLACK, 0.0, 0.5},
                                           {BLACK, 0.61, -3.0},
                                           {BLACK, double(0.61f), -4.0},
                                           {WHITE, -0.7, -2.5},
                                           {WHITE, 1.5, -6.0},
                                           {WHITE, 0.3, 1.97}});  // r > 1.975: behind the house
    EXPECT_EQ(countCenterGuards(board), 2);
    EXPECT_EQ(countLeftGuards(board), 1);
    EXPECT_EQ(countRightGuards(board), 1);
    const ThinkBoard empty = makeBoard(16, {});
    EXPECT_EQ(countCenterGuards(empty) + countLeftGuards(empty) + countRightGuards(empty), 0);
}

TEST_F(Candidates, ComeAroundPassesOnTheOuterSide) {
    Candidate rec;
    makeComeAround(KelvoTest::simulation(), makeStonePos(0.0, 0.2), rec);
    EXPECT_EQ(rec.spin, 0);  // x = 0 goes around the -X side
    const Want left = comeAround(0.0, 0.2);
    EXPECT_NEAR(rec.x, left.c.x, 1e-9);
    EXPECT_NEAR(rec.y, left.c.y, 1e-9);
    // The pass point lies about 0.176 to -X and 0.994 toward the thrower.
    Candidate check;
    check.spin = 0;
    passThrough(KelvoTest::tables(), Vec2{-0.1762, 0.2 - 0.9843 - 0.01}, 2.075, check);
    EXPECT_NEAR(rec.x, check.x, 1e-3);

    makeComeAround(KelvoTest::simulation(), makeStonePos(0.4, -0.3), rec);
    EXPECT_EQ(rec.spin, 1);
    const Want right = comeAround(0.4, -0.3);
    EXPECT_NEAR(rec.x, right.c.x, 1e-9);
    EXPECT_NEAR(rec.y, right.c.y, 1e-9);
}

// The direction from A to B in degrees as the window test takes it: the
// angle narrowed to single precision (the contact variant also takes its
// atan2 in single precision), converted in double, narrowed again.
float windowDegrees(const fStonePos& a, const fStonePos& b, bool contact) {
    const float theta = contact ? std::atan2(float(b.y - a.y), float(b.x - a.x)) : float(std::atan2(b.y - a.y, b.x - a.x));
    return float(double(theta * 180.0f) / (4 * std::atan(1.0)));
}

TEST_F(Candidates, HitTowardWindowAndAim) {
    const fStonePos a = makeStonePos(0.2, -1.0);
    const Vec2 av{0.2, -1.0};
    auto at = [&](double deg) {
        const double t = deg * M_PI / 180;
        return makeStonePos(0.2 + std::cos(t), -1.0 + std::sin(t));
    };
    // A B near the given direction whose window angle satisfies `want`.
    auto near = [&](double deg, bool contact, auto want) {
        for (int k = 0; k < 4000; ++k) {
            const fStonePos b = at(deg + (k % 2 ? 1 : -1) * (k / 2) * 1e-6);
            if (want(windowDegrees(a, b, contact)))
                return b;
        }
        ADD_FAILURE() << "no direction found near " << deg;
        return at(deg);
    };
    Candidate rec;
    for (auto [make, contact] : {std::pair{&makeHitToward, false}, std::pair{&makeHitTowardContact, true}}) {
        // Straight behind: spin 0, aim 2 R behind A (or in front for the
        // contact variant).
        ASSERT_TRUE(make(KelvoTest::simulation(), a, at(90), rec));
        const Want straight = hitToward(av, Vec2{0.2, 0.0}, contact);
        EXPECT_EQ(rec.spin, 0);
        EXPECT_NEAR(rec.x, straight.c.x, 1e-5);
        EXPECT_NEAR(rec.y, straight.c.y, 1e-5);
        // The window's edges are inside; the spin follows the side of B.
        // The edges belong to the window. No single-precision angle gives
        // exactly 125, so the nearest one below it stands in for it.
        ASSERT_TRUE(make(KelvoTest::simulation(), a, near(55, contact, [](float d) { return d == 55.0f; }), rec));
        EXPECT_EQ(rec.spin, 0);
        EXPECT_FALSE(make(KelvoTest::simulation(), a, near(55, contact, [](float d) { return d < 55.0f && d > 54.99998f; }), rec));
        EXPECT_FALSE(make(KelvoTest::simulation(), a, near(125, contact, [](float d) { return d > 125.0f && d < 125.00002f; }), rec));
        ASSERT_TRUE(make(KelvoTest::simulation(), a, near(125, contact, [](float d) { return d <= 125.0f && d > 124.99998f; }), rec));
        EXPECT_EQ(rec.spin, 1);
        const Want edge = hitToward(av, Vec2{at(125).x, at(125).y}, contact);
        EXPECT_NEAR(rec.x, edge.c.x, 1e-5);
        EXPECT_NEAR(rec.y, edge.c.y, 1e-5);
        // Level with A, in front of it, or just outside the window: rejected,
        // the record untouched.
        Candidate untouched;
        untouched.x = 7;
        untouched.y = 8;
        untouched.spin = 5;
        for (double deg : {0.0, 180.0, -60.0, 54.9, 125.1}) {
            EXPECT_FALSE(make(KelvoTest::simulation(), a, at(deg), untouched)) << deg;
            EXPECT_EQ(untouched.x, 7);
            EXPECT_EQ(untouched.y, 8);
            EXPECT_EQ(untouched.spin, 5);
        }
    }
    // Nearly straight behind or in front (|dx| < 0.05): the contact variant
    // treats it as straight behind.
    ASSERT_TRUE(makeHitTowardContact(KelvoTest::simulation(), a, makeStonePos(0.24, -2.0), rec));
    const Want straight = hitToward(av, Vec2{0.2, 0.0}, true);
    EXPECT_EQ(rec.spin, 0);
    EXPECT_NEAR(rec.x, straight.c.x, 1e-5);
    EXPECT_NEAR(rec.y, straight.c.y, 1e-5);
    EXPECT_FALSE(makeHitToward(KelvoTest::simulation(), a, makeStonePos(0.24, -2.0), rec));
}

// ---------------------------------------------------------------------------
// The bounded writer

TEST_F(Candidates, WriterStopsAtTheBound) {
    Candidate array[MAX_CANDIDATES + 5];
    std::memset(static_cast<void*>(array), 0, sizeof array);
    Aim aims[MAX_CANDIDATES + 5] = {};
    CandidateWriter w{&KelvoTest::simulation(), array};
    CandidateWriter lazy{nullptr, nullptr, aims};
    for (int i = 0; i < MAX_CANDIDATES + 5; ++i) {
        const Aim aim{Aim::DRAW, Vec2{0.0, -1.0 - i * 0.01}, 0, 1};
        w.add(aim);
        lazy.add(aim);
    }
    EXPECT_EQ(w.n, MAX_CANDIDATES);
    EXPECT_EQ(lazy.n, MAX_CANDIDATES);
    EXPECT_NE(array[MAX_CANDIDATES - 1].y, 0);
    EXPECT_EQ(aims[MAX_CANDIDATES - 1].target.y, -1.0 - (MAX_CANDIDATES - 1) * 0.01);
    for (int i = MAX_CANDIDATES; i < MAX_CANDIDATES + 5; ++i) {
        EXPECT_EQ(array[i].y, 0);
        EXPECT_EQ(aims[i].target.y, 0);
    }
}

// Score2 at WHITE's last stone with eight BLACK stones in a column and seven
// WHITE stones in the house would give over a hundred candidates.
TEST_F(Candidates, CrowdedBoardStopsAtOneHundred) {
    std::vector<StoneAt> stones;
    for (int i = 0; i < 8; ++i)
        stones.push_back({BLACK, 0.0, -1.0 - i});
    for (int i = 0; i < 7; ++i)
        stones.push_back({WHITE, -0.3 + 0.1 * i, 0.5});
    const ThinkBoard board = makeBoard(1, stones);
    Candidate array[MAX_CANDIDATES + 10];
    for (Candidate& c : array)
        c = Candidate{-1, -1, 9};
    EXPECT_EQ(candidatesScore2(board, array), MAX_CANDIDATES);
    for (int i = MAX_CANDIDATES; i < MAX_CANDIDATES + 10; ++i) {
        EXPECT_EQ(array[i].x, -1);
        EXPECT_EQ(array[i].spin, 9);
    }
    // The prefix is the start of the full list: behind-guard draws first,
    // from the first guard in front of -2.17.
    const Want first = draw(0.0, -3.0 + 5.0, 0);
    EXPECT_EQ(array[0].x, first.c.x);
    EXPECT_EQ(array[0].y, first.c.y);
}

// ---------------------------------------------------------------------------
// Force1 (BLACK to move)

TEST_F(Candidates, Force1EmptySheetGivesThreeCentreGuards) {
    expectSet(candidatesForce1, makeBoard(16, {}), {draw(0, -5.0, 1), draw(0, -5.5, 1), draw(0, -2.5, 1)});
}

TEST_F(Candidates, Force1LoneOpponentStoneIsTakenOutButNotWithASecond) {
    const std::vector<Want> guards{draw(0, -5.0, 1), draw(0, -5.5, 1), draw(0, -2.5, 1)};
    expectSet(candidatesForce1, makeBoard(14, {{WHITE, 0.3, 0.8}}), join({guards, {takeout(0.3, 0.8)}}));

    // With a corner guard beside it the house stone behind the tee line
    // stays; the guard is taken out and struck onto it.
    expectSet(candidatesForce1, makeBoard(12, {{WHITE, 0.3, 0.8}, {WHITE, -1.5, -6.0}}),
              join({guards, {takeout(-1.5, -6.0)}, pairs({-1.5, -6.0}, {0.3, 0.8})}));
}

TEST_F(Candidates, Force1GuardJustOutsideTheHouseGivesTheTeeDraw) {
    expectSet(candidatesForce1, makeBoard(14, {{BLACK, 0.0, -2.0}}), {draw(0, 0, 1)});
}

TEST_F(Candidates, Force1TeeLineDrawsStayNearerThanTheOpponent) {
    // Opponent nearest at r 1.0, own second stone at r 1.5: f = 1.0.
    const ThinkBoard board = makeBoard(12, {{BLACK, 0.0, 0.05}, {BLACK, -0.9, 1.2}, {WHITE, 0.6, 0.8}});
    expectSet(candidatesForce1, board,
              {draw(0, -5.0, 1), draw(0, -5.5, 1), draw(0, -2.5, 1), takeout(0.6, 0.8), comeAround(0.0, 0.05),
               draw(-0.0, 0.05, 0), draw(0.9, 1.2, 1), draw(0.61, 0, 1), draw(-0.61, 0, 0)});

    // Own second stone at r 1.0 and opponent at r 1.5 (f = 1.0 again, from
    // the own stone); opponent at r 1.3 and own at 1.25 give f = 1.25.
    const ThinkBoard far = makeBoard(12, {{BLACK, 1.0, 0.0}, {BLACK, 0.1, 0.1}, {WHITE, 0.9, 1.2}});
    expectSet(candidatesForce1, far,
              {draw(0, -5.0, 1), draw(0, -5.5, 1), draw(0, -2.5, 1), takeout(0.9, 1.2), comeAround(0.1, 0.1),
               draw(-0.1, 0.1, 0), draw(-1.0, 0.0, 0), draw(0.61, 0, 1), draw(-0.61, 0, 0)});
    const ThinkBoard wide = makeBoard(12, {{BLACK, 0.0, 1.25}, {BLACK, 0.1, 0.1}, {WHITE, -1.3, 0.0}});
    expectSet(candidatesForce1, wide,
              {draw(0, -5.0, 1), draw(0, -5.5, 1), draw(0, -2.5, 1), takeout(-1.3, 0.0), comeAround(0.1, 0.1),
               comeAround(0.0, 1.25), draw(-0.1, 0.1, 0), draw(-0.0, 1.25, 0), draw(0.61, 0, 1),
               draw(1.22, 0, 1), draw(-0.61, 0, 0), draw(-1.22, 0, 0)});
}

TEST_F(Candidates, Force1FreezesWhenTheOpponentLiesShot) {
    const ThinkBoard board = makeBoard(12, {{BLACK, 1.0, -0.5}, {WHITE, 0.2, 0.3}, {WHITE, -0.8, 0.4}});
    expectSet(candidatesForce1, board,
              {draw(0, -5.0, 1), draw(0, -5.5, 1), draw(0, -2.5, 1),
               // both opponent stones are house stones behind the tee line: no takeout
               draw(-1.0, -0.5, 0), freeze(1.0, -0.5), freeze(0.2, 0.3), freeze(-0.8, 0.4)});
}

// A pair whose rear stone lies behind the tee line outside the 1.83 circle is
// never offered; one whose rear stone is in front of the tee line is,
// however far out. Behind-guard draws take their spins from each guard's X.
TEST_F(Candidates, Force1PairSkipRuleAndBehindGuardDraws) {
    const Vec2 g1{0.2, -6.0}, g2{0.5, -3.0};
    auto board = [&](Vec2 h) {
        return makeBoard(10, {{BLACK, -0.4, -4.0}, {WHITE, h.x, h.y}, {WHITE, g2.x, g2.y}, {WHITE, g1.x, g1.y}});
    };
    const std::vector<Want> behind{draw(-0.4, 1.0, 0), draw(-0.4, 0.5, 0), draw(0.5, 2.0, 1),
                                   draw(0.5, 1.5, 1), draw(0.2, -1.0, 1), draw(0.2, -1.5, 1)};
    const Vec2 outside{0.9, 1.7};  // r 1.92: in the house, beyond 1.83
    expectSet(candidatesForce1, board(outside),
              join({{takeout(g2.x, g2.y), takeout(g1.x, g1.y)},
                    {hitToward(g1, g2, false), hitToward(g1, g2, true)},
                    behind}));
    const Vec2 inside{0.9, 1.5};  // r 1.75
    expectSet(candidatesForce1, board(inside),
              join({{takeout(g2.x, g2.y), takeout(g1.x, g1.y)},
                    {hitToward(g1, g2, false), hitToward(g1, inside, false), hitToward(g2, inside, false)},
                    {hitToward(g1, g2, true), hitToward(g1, inside, true), hitToward(g2, inside, true)},
                    behind}));
}

// A missing slot is absent, not whatever stone last occupied it: a board
// rebuilt after a shot that removed stones gives the same list as a fresh
// board with the same stones.
TEST_F(Candidates, MissingSlotsAreAbsent) {
    ThinkBoard rebuilt = makeBoard(12, {{BLACK, 0.0, 0.05}, {BLACK, 0.3, 0.4}, {WHITE, 0.2, -0.3}});
    rebuilt.count[BLACK] = rebuilt.count[WHITE] = 0;
    rebuilt.inHouse[BLACK] = rebuilt.inHouse[WHITE] = 0;
    addStone(rebuilt, BLACK, 0.0, 0.05);
    recomputeStates(rebuilt);
    const ThinkBoard fresh = makeBoard(12, {{BLACK, 0.0, 0.05}});
    // With no opponent stone and no second own stone every tee-line draw counts.
    const std::vector<Want> want{draw(0, -5.0, 1),  draw(0, -5.5, 1), draw(0, -2.5, 1),  comeAround(0.0, 0.05),
                                 draw(-0.0, 0.05, 0), draw(0.61, 0, 1), draw(1.22, 0, 1), draw(-0.61, 0, 0),
                                 draw(-1.22, 0, 0)};
    expectSet(candidatesForce1, rebuilt, want);
    expectSet(candidatesForce1, fresh, want);

    // Steal: own stones on the button and in the centre lane, the opponent's
    // stones removed: its tee-line draws at f all count.
    ThinkBoard steal = makeBoard(12, {{BLACK, 0.1, 0.1}, {BLACK, 0.0, 0.5}, {WHITE, 0.0, -4.0}, {WHITE, 0.3, 0.2}});
    steal.count[BLACK] = steal.count[WHITE] = 0;
    steal.inHouse[BLACK] = steal.inHouse[WHITE] = 0;
    addStone(steal, BLACK, 0.1, 0.1);
    addStone(steal, BLACK, 0.0, -4.0);
    recomputeStates(steal);
    expectSet(candidatesSteal, steal,
              {draw(0, -5.5, 1), draw(0.1, -4.9, 1), draw(0.61, 0, 1), draw(1.22, 0, 1), draw(-0.61, 0, 0),
               draw(-1.22, 0, 0)});
    // Steal with no own stone at all: the tee draws, not a stale button stone.
    ThinkBoard none = steal;
    none.count[BLACK] = none.inHouse[BLACK] = 0;
    addStone(none, WHITE, 0.0, -4.0);
    recomputeStates(none);
    expectSet(candidatesSteal, none, join({{draw(0, -5.5, 1)}, teeDraws(), {takeout(0.0, -4.0)}}));
}

// ---------------------------------------------------------------------------
// Steal (BLACK to move)

TEST_F(Candidates, StealFirstStoneIsTwoCentreGuards) {
    expectSet(candidatesSteal, makeBoard(16, {}), {draw(0, -5.0, 1), draw(0, -2.5, 1)});
}

TEST_F(Candidates, StealOpenCentreLane) {
    const std::vector<StoneAt> stones{
        {BLACK, 0.3, -0.5}, {BLACK, 1.5, -3.0}, {WHITE, -0.5, 0.4}, {WHITE, -1.2, -4.0}};
    auto want = [](bool taps) {
        return join({{draw(0, -5.0, 1), draw(0, -2.5, 1), draw(0.3, -5.5, 1), draw(0.3, -3.0, 1)},
                     taps ? std::vector<Want>{tap(0.3, -0.5, 1), tap(1.5, -3.0, 1)} : std::vector<Want>{},
                     {freeze(0.3, -0.5), freeze(-0.5, 0.4)},
                     {draw(1.5, 2.0, 1), draw(1.5, 1.5, 1), draw(-1.2, 1.0, 0), draw(-1.2, 0.5, 0)},
                     {takeout(-0.5, 0.4), takeout(-1.2, -4.0)},
                     pairs({-1.2, -4.0}, {-0.5, 0.4})});
    };
    expectSet(candidatesSteal, makeBoard(10, stones), want(true));
    // BLACK's last stone: no taps.
    expectSet(candidatesSteal, makeBoard(2, stones), want(false));
}

TEST_F(Candidates, StealCrowdedCentreLaneGivesTeeDraws) {
    const ThinkBoard board = makeBoard(12, {{BLACK, 0.0, -3.0}, {BLACK, 0.2, -5.0}, {WHITE, -0.3, -6.5}});
    expectSet(candidatesSteal, board, join({teeDraws(), {takeout(-0.3, -6.5)}}));
}

TEST_F(Candidates, StealNearButtonGivesTeeLineDraws) {
    const ThinkBoard board = makeBoard(12, {{BLACK, 0.1, 0.2}, {BLACK, 0.5, -1.0}, {WHITE, 0.0, -4.0}});
    expectSet(candidatesSteal, board,
              {draw(0, -5.5, 1), draw(0.1, -4.8, 1), draw(0.5, -6.0, 1), draw(0.61, 0, 1), draw(-0.61, 0, 0),
               takeout(0.0, -4.0)});
}

// ---------------------------------------------------------------------------
// Prevent Multi (BLACK to move)

TEST_F(Candidates, PreventMultiWithoutOpponentStonesGivesSixDraws) {
    const std::vector<Want> six = join({teeDraws(), {draw(0.61, 0, 1), draw(1.22, 0, 1), draw(-0.61, 0, 0),
                                                     draw(-1.22, 0, 0)}});
    expectSet(candidatesPreventMulti, makeBoard(16, {}), six);
    expectSet(candidatesPreventMulti, makeBoard(12, {{BLACK, 0.2, 0.3}, {BLACK, -1.0, -4.0}}), six);
}

TEST_F(Candidates, PreventMultiTakeoutsAndFreezes) {
    // r 1.9 behind the tee line: frozen onto, not taken out.
    expectSet(candidatesPreventMulti, makeBoard(14, {{WHITE, 0.0, 1.9}}), {freeze(0.0, 1.9)});
    // Behind the house at the back of the sheet: nothing but the tee draw.
    expectSet(candidatesPreventMulti, makeBoard(14, {{WHITE, 1.0, 1.8}}), {draw(0, 0, 1)});
    const ThinkBoard board = makeBoard(10, {{WHITE, 0.4, -3.0}, {WHITE, -0.2, -0.5}, {WHITE, 0.5, 1.0}});
    expectSet(candidatesPreventMulti, board,
              {takeout(-0.2, -0.5), takeout(0.5, 1.0), takeout(0.4, -3.0), freeze(0.5, 1.0)});
}

// ---------------------------------------------------------------------------
// Score2 (WHITE to move)

TEST_F(Candidates, Score2FirstStoneIsFourCornerGuards) {
    expectSet(candidatesScore2, makeBoard(15, {{BLACK, -1.0, -3.0}}), join({leftCorners(), rightCorners()}));
}

TEST_F(Candidates, Score2MiddleOfTheEnd) {
    const Vec2 guard{-1.0, -3.0}, front{0.3, -0.4}, back{-0.6, 0.9};
    const ThinkBoard board = makeBoard(11, {{BLACK, guard.x, guard.y},
                                            {BLACK, front.x, front.y},
                                            {BLACK, back.x, back.y},
                                            {WHITE, 0.1, 0.3},
                                            {WHITE, 0.2, -6.0}});
    expectSet(candidatesScore2, board,
              join({{draw(-1.0, 2.0, 0), draw(-1.0, 1.5, 0), draw(0.2, -1.0, 1), draw(0.2, -1.5, 1)},
                    rightCorners(),  // a BLACK guard holds the left lane
                    {comeAround(0.1, 0.3), draw(-0.1, 0.3, 0), draw(0.1, -4.7, 1), draw(0.1, -2.2, 1)},
                    {takeout(front.x, front.y), freeze(front.x, front.y), freeze(back.x, back.y)},
                    {takeout(guard.x, guard.y)},
                    {hitToward(guard, front, false), hitToward(guard, back, false), hitToward(front, back, false)},
                    {hitToward(guard, front, true), hitToward(guard, back, true), hitToward(front, back, true)}}));
}

TEST_F(Candidates, Score2LastStoneAddsTeeDrawsAndTakeoutsBehindTheTeeLine) {
    const Vec2 front{-0.2, -0.3}, back{0.3, 0.5};
    const ThinkBoard board = makeBoard(1, {{BLACK, back.x, back.y}, {BLACK, front.x, front.y}});
    expectSet(candidatesScore2, board,
              join({leftCorners(), rightCorners(),
                    {takeout(front.x, front.y), freeze(front.x, front.y), freeze(back.x, back.y)},
                    pairs(front, back), teeDraws(), {takeout(back.x, back.y)}}));
}

// While the free guard zone applies, no pair is struck from a guard in front
// of the tee line outside the 1.83 circle.
TEST_F(Candidates, Score2PairsFromProtectedGuardsWaitForTurn12) {
    const Vec2 guard{0.3, -4.0}, house{0.1, 0.5};
    const std::vector<StoneAt> stones{{BLACK, guard.x, guard.y}, {BLACK, house.x, house.y}};
    const std::vector<Want> common = join({{draw(0.3, 1.0, 1), draw(0.3, 0.5, 1)}, leftCorners(), rightCorners(),
                                           {freeze(house.x, house.y), takeout(guard.x, guard.y)}});
    expectSet(candidatesScore2, makeBoard(13, stones), common);
    expectSet(candidatesScore2, makeBoard(11, stones), join({common, pairs(guard, house)}));
}

// ---------------------------------------------------------------------------
// Score3 or more (WHITE to move)

TEST_F(Candidates, Score3EmptySheetIsFourCornerGuards) {
    expectSet(candidatesScore3, makeBoard(15, {}), join({leftCorners(), rightCorners()}));
}

TEST_F(Candidates, Score3FallbackDraws) {
    const ThinkBoard board = makeBoard(13, {{BLACK, -1.0, -1.9}, {WHITE, 1.0, -1.9}});
    expectSet(candidatesScore3, board, {draw(0, 0, 1), draw(0, -double(0.29f), 1)});
}

TEST_F(Candidates, Score3OwnHouseStonesWithoutOpponentInTheHouse) {
    const Vec2 back{1.2, 1.9}, guard{1.5, -5.0};  // back: behind the tee line, r 2.25
    const ThinkBoard board =
        makeBoard(9, {{WHITE, 0.2, 0.3}, {WHITE, -0.5, -0.8}, {BLACK, guard.x, guard.y}, {BLACK, back.x, back.y}});
    expectSet(candidatesScore3, board,
              join({leftCorners(),
                    {draw(1.5, 0.0, 1), draw(1.5, -0.5, 1)},
                    {draw(0.2, -4.7, 1), draw(0.2, -2.2, 1), draw(-0.5, -5.8, 0), draw(-0.5, -3.3, 0)},
                    {takeout(guard.x, guard.y)},
                    pairs(guard, back)}));
}

TEST_F(Candidates, Score3FreezesTapsAndLastStones) {
    const ThinkBoard board = makeBoard(3, {{BLACK, -0.4, 0.2}, {WHITE, 0.3, -0.1}});
    expectSet(candidatesScore3, board,
              join({leftCorners(), rightCorners(),
                    {freeze(-0.4, 0.2), freeze(0.3, -0.1), tap(0.3, -0.1, 1)},
                    {draw(0.3, -5.1, 1), draw(0.3, -2.6, 1)},
                    {takeout(-0.4, 0.2)},
                    teeDraws()}));
    // Before turn 11 no takeouts or pairs.
    const ThinkBoard early = makeBoard(11, {{BLACK, -0.4, 0.2}, {BLACK, 0.0, -3.0}, {WHITE, 0.3, -0.1}});
    expectSet(candidatesScore3, early,
              join({leftCorners(), rightCorners(),
                    {freeze(-0.4, 0.2), freeze(0.3, -0.1), tap(0.3, -0.1, 1)},
                    {draw(0.0, 2.0, 0), draw(0.0, 1.5, 0)},
                    {draw(0.3, -5.1, 1), draw(0.3, -2.6, 1)}}));
}

// ---------------------------------------------------------------------------
// Prevent Steal (WHITE to move)

TEST_F(Candidates, PreventStealEmptySheetAndNoOpponent) {
    expectSet(candidatesPreventSteal, makeBoard(5, {}), {draw(1.7950000166893005, -5.819999516010284, 1)});
    expectSet(candidatesPreventSteal, makeBoard(5, {{WHITE, 0.1, 0.1}}), {draw(0, 0, 1)});
}

TEST_F(Candidates, PreventStealLastStoneTakesOutTwice) {
    const Vec2 a{0.2, 0.4}, b{-0.5, -1.0};
    const std::vector<StoneAt> stones{{BLACK, a.x, a.y}, {BLACK, b.x, b.y}};
    const std::vector<Want> takeouts{takeout(a.x, a.y), takeout(b.x, b.y)};
    expectSet(candidatesPreventSteal, makeBoard(1, stones),
              join({{draw(0, 0, 1), draw(0, -double(0.29f), 1)}, takeouts, takeouts, pairs(b, a)}));
    expectSet(candidatesPreventSteal, makeBoard(3, stones), join({takeouts, pairs(b, a)}));
}

}  // namespace

// A playout resolves only the aim it throws: every aim must resolve to
// exactly the launch velocity the eager list holds at the same place.
TEST_F(Candidates, AimsResolveToTheEagerList) {
    const std::vector<StoneAt> stones = {{BLACK, 0.1, -0.2}, {BLACK, -0.8, -3.5}, {BLACK, 0.5, 1.2},
                                         {WHITE, 0.3, 0.4},  {WHITE, -0.2, -4.0}, {WHITE, 1.0, -1.0}};
    for (int turn : {16, 15, 13, 10, 7, 2, 1}) {
        std::vector<StoneAt> onSheet;
        int thrown[2] = {stonesThrown(BLACK, SHOTS_PER_END - turn), stonesThrown(WHITE, SHOTS_PER_END - turn)};
        for (const StoneAt& s : stones)
            if (thrown[s.colour]-- > 0)
                onSheet.push_back(s);
        const ThinkBoard board = makeBoard(turn, onSheet);
        for (CandidateSet set : {CandidateSet(candidatesForce1), CandidateSet(candidatesSteal),
                                 CandidateSet(candidatesPreventMulti), CandidateSet(candidatesScore2),
                                 CandidateSet(candidatesScore3), CandidateSet(candidatesPreventSteal)}) {
            Candidate eager[MAX_CANDIDATES];
            Aim aims[MAX_CANDIDATES];
            CandidateWriter lazy{nullptr, nullptr, aims};
            const int32_t n = writeCandidates(set, board, eager);
            ASSERT_EQ(set(board, lazy), n);
            for (int32_t i = 0; i < n; ++i) {
                const Candidate c = resolveAim(KelvoTest::simulation(), aims[i]);
                EXPECT_EQ(c.x, eager[i].x) << "turn " << turn << " candidate " << i;
                EXPECT_EQ(c.y, eager[i].y) << "turn " << turn << " candidate " << i;
                EXPECT_EQ(c.spin, eager[i].spin) << "turn " << turn << " candidate " << i;
            }
        }
    }
}

// Every set on a thousand scattered boards, hashed: the lists must stay bit
// for bit what they were when the hash was taken, whatever is done to make
// their generation faster.
TEST_F(Candidates, ListsOnManyBoardsAreBitForBitTheReference) {
    uint32_t seed = 20261209;
    auto uniform = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1u << 24);
    };
    uint64_t h = KelvoTest::FNV_KEPT_BASIS;
    for (int b = 0; b < 1000; ++b) {
        const int turn = 1 + b % 15;
        std::vector<StoneAt> stones;
        for (int c = 0; c < 2; ++c) {
            const int most = std::min(8, stonesThrown(c, SHOTS_PER_END - turn));
            const int n = int(uniform() * (most + 1));
            for (int i = 0; i < n; ++i)
                stones.push_back({c, (uniform() * 2 - 1) * 2.0, -6.0 + uniform() * 8.0});
        }
        const ThinkBoard board = makeBoard(turn, stones);
        for (CandidateSet set : {CandidateSet(candidatesForce1), CandidateSet(candidatesSteal),
                                 CandidateSet(candidatesPreventMulti), CandidateSet(candidatesScore2),
                                 CandidateSet(candidatesScore3), CandidateSet(candidatesPreventSteal)}) {
            Candidate list[MAX_CANDIDATES];
            const int32_t n = writeCandidates(set, board, list);
            h = KelvoTest::fnv1a(h, n);
            for (int32_t i = 0; i < n; ++i) {
                h = KelvoTest::fnv1a(h, list[i].x);
                h = KelvoTest::fnv1a(h, list[i].y);
                h = KelvoTest::fnv1a(h, list[i].spin);
            }
        }
    }
    EXPECT_EQ(h, 0xc6b88880ce3e8719ULL);
}

#include <gtest/gtest.h>

#include <cmath>

#include "kelvosim/classic/fastsimulator.h"
#include "support.h"

using namespace Kelvo;
using KelvoTest::makeBoard;

namespace {

class FastSim : public ::testing::Test {
protected:
    const MotionTables& tables = KelvoTest::tables();
};

fMoveXY<double> aimHit(Vec2 target, double speed, int spin) {
    fMoveXY<double> rec;
    rec.spin = spin;
    hitAt(KelvoTest::tables(), target, speed, rec);
    return rec;
}

StoneMotion movingStone(double x, double y, double angle, double speed, double spin) {
    StoneMotion s;
    s.x = x;
    s.y = y;
    s.angle = angle;
    s.speed = speed;
    s.spin = spin;
    return s;
}

// The thrown stone as the entry points start it.
StoneMotion thrownFrom(const MotionState& l) {
    return movingStone(l.x, l.y, std::atan2(l.vx, l.vy), std::min(std::hypot(l.vx, l.vy), V_MAX), l.spin);
}

void expectSameStones(const ThinkBoard& a, const ThinkBoard& b) {
    for (int c = 0; c < 2; ++c) {
        ASSERT_EQ(a.count[c], b.count[c]) << "colour " << c;
        EXPECT_EQ(a.inHouse[c], b.inHouse[c]);
        for (int j = 0; j < a.count[c]; ++j) {
            EXPECT_EQ(a.stones[c][j].x, b.stones[c][j].x);
            EXPECT_EQ(a.stones[c][j].y, b.stones[c][j].y);
            EXPECT_EQ(a.state[c][j], b.state[c][j]);
        }
    }
}

// b holds the mirror image (x negated) of a.
void expectMirrored(const ThinkBoard& a, const ThinkBoard& b, double tol = 1e-9) {
    for (int c = 0; c < 2; ++c) {
        ASSERT_EQ(a.count[c], b.count[c]) << "colour " << c;
        for (int j = 0; j < a.count[c]; ++j) {
            EXPECT_NEAR(a.stones[c][j].x, -b.stones[c][j].x, tol);
            EXPECT_NEAR(a.stones[c][j].y, b.stones[c][j].y, tol);
        }
    }
}

bitSet setOf(std::initializer_list<int> members) {
    bitSet s;
    for (int p : members)
        s.set(p);
    return s;
}

struct Resting {
    double x, y;
    int32_t state;
};

// A fast board whose stones 0 and 1 move (each listing the other) and whose
// stones from 2 on rest.
FSBoard movingPair(const StoneMotion& a, int32_t stateA, const StoneMotion& b, int32_t stateB,
                   std::initializer_list<Resting> resting) {
    FSBoard fs;
    fs.stones[0].motion = a;
    fs.stones[0].state = stateA;
    fs.stones[1].motion = b;
    fs.stones[1].state = stateB;
    int p = 2;
    for (const Resting& r : resting) {
        fs.stones[p].motion.x = r.x;
        fs.stones[p].motion.y = r.y;
        fs.stones[p].state = r.state;
        fs.addAsleep(p++);
    }
    fs.addAwake(0);
    fs.addAwake(1);
    fs.stones[0].awakes = setOf({1});
    fs.stones[1].awakes = setOf({0});
    fs.stones[0].asleeps = fs.stones[1].asleeps = fs.asleeps;
    return fs;
}

// --------------------------------------------------------------------------
// Fast board

TEST(FastBoard, SetupAfterFirstHitLayout) {
    // WHITE to move at turn 13: the BLACK guards are protected.
    const ThinkBoard board = makeBoard(13, {{WHITE, 0.0, 0.5}, {BLACK, 0.5, -3.0}, {BLACK, 0.0, -2.5}});
    const int32_t guard = ST_FREEGUARD | ST_PROTECTED;
    ASSERT_EQ(board.state[BLACK][0], guard);
    ASSERT_EQ(board.stones[BLACK][1].x, 0.5);
    const StoneMotion thrown = movingStone(0.1, -2.0, 0.2, 3.0, CURL_RATIO);
    const StoneMotion struck = movingStone(0.5, -3.0, 0.1, 2.0, 0.5);

    FSBoard fs;
    fs.setupAfterFirstHit(board, 1, thrown, struck);  // BLACK index 1 was struck
    EXPECT_EQ(fs.awakes, setOf({0, 1}));
    EXPECT_EQ(fs.nAwake, 2);
    EXPECT_EQ(fs.asleeps, setOf({2, 3}));
    EXPECT_EQ(fs.nAsleep, 2);
    EXPECT_EQ(fs.turnColour, 1);
    EXPECT_EQ(fs.stones[0].motion.x, 0.1);
    EXPECT_EQ(fs.stones[1].motion.spin, 0.5);
    EXPECT_EQ(fs.stones[0].state, ST_WHITE);
    EXPECT_EQ(fs.stones[1].state, guard);
    // The other stones keep the board's order, BLACK first.
    EXPECT_EQ(fs.stones[2].motion.y, -2.5);
    EXPECT_EQ(fs.stones[2].state, guard);
    EXPECT_EQ(fs.stones[3].motion.y, 0.5);
    EXPECT_EQ(fs.stones[3].state, ST_WHITE);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(fs.stones[i].asleeps, setOf({2, 3}));
        EXPECT_TRUE(fs.stones[i].awakes.empty());
    }
    EXPECT_TRUE(fs.exam());

    FSBoard whiteHit;
    whiteHit.setupAfterFirstHit(board, 8, thrown, struck);  // the WHITE stone was struck
    EXPECT_EQ(whiteHit.stones[1].state, ST_WHITE);
    EXPECT_EQ(whiteHit.stones[2].motion.y, -2.5);
    EXPECT_EQ(whiteHit.stones[3].motion.x, 0.5);
    EXPECT_EQ(whiteHit.nAsleep, 2);
    EXPECT_TRUE(whiteHit.exam());
}

std::string examOutput(const FSBoard& fs, bool* result) {
    testing::internal::CaptureStderr();
    *result = fs.exam();
    return testing::internal::GetCapturedStderr();
}

TEST(FastBoard, ExamMessages) {
    FSBoard base;
    base.awakes = setOf({0, 1});
    base.nAwake = 2;
    base.asleeps = setOf({2});
    base.nAsleep = 1;
    base.stones[0].asleeps = setOf({2});
    base.stones[1].asleeps = setOf({2});
    bool ok = false;
    EXPECT_EQ(examOutput(base, &ok), "");
    EXPECT_TRUE(ok);

    struct Case {
        void (*breakIt)(FSBoard&);
        const char* message;
    } cases[] = {
        {[](FSBoard& f) { f.asleeps.set(1); }, "FSBoard::exam() : awakes and asleeps inexclusive.\n"},
        {[](FSBoard& f) { f.stones[1].awakes.set(5); },
         "FSBoard::exam() : all awakes doesn't hold aw_stone(1)'s awakes.\n"},
        {[](FSBoard& f) { f.stones[0].asleeps.set(7); },
         "FSBoard::exam() : all asleeps doesn't hold aw_stone(0)'s asleeps.\n"},
        {[](FSBoard& f) { f.stones[1].awakes.set(1); }, "FSBoard::exam() : aw_stone(1)'s awakes holds myself.\n"},
    };
    for (const Case& c : cases) {
        FSBoard f = base;
        c.breakIt(f);
        EXPECT_EQ(examOutput(f, &ok), c.message);
        EXPECT_FALSE(ok) << c.message;
    }

    // Eight stones of a colour pass, nine fail with the count line.
    FSBoard crowd;
    crowd.awakes = setOf({0});
    crowd.nAwake = 1;
    crowd.stones[0].state = ST_WHITE;
    for (int p = 1; p <= 7; ++p) {
        crowd.asleeps.set(p);
        crowd.stones[p].state = ST_WHITE | ST_PROTECTED;
    }
    crowd.nAsleep = 7;
    EXPECT_EQ(examOutput(crowd, &ok), "");
    EXPECT_TRUE(ok);
    crowd.asleeps.set(8);
    crowd.stones[8].state = ST_WHITE;
    EXPECT_EQ(examOutput(crowd, &ok), "FSBoard : illegal number of stones( WHITE9 ).\n");
    EXPECT_FALSE(ok);
}

TEST(FastBoardDeathTest, EventLoopStopsOnBrokenBoard) {
    ThinkBoard board = makeBoard(10, {{BLACK, 0.0, 0.0}});
    FSBoard fs;
    fs.awakes = setOf({0, 1});
    fs.nAwake = 2;
    fs.stones[1].awakes = setOf({1});
    EXPECT_DEATH(simulateFSBoard(board, fs), "aw_stone\\(1\\)'s awakes holds myself(.|\n)*pbd->exam\\(\\)");
}

TEST(FastBoardDeathTest, TwoStonesNeedsExactlyOneStone) {
    ThinkBoard board = makeBoard(10, {{BLACK, 0.0, 0.0}, {WHITE, 0.5, 0.5}});
    const MotionState launch{0, -TEE_TO_THROW, 0, 30, CURL_RATIO};
    EXPECT_DEATH(simulateTwoStones(board, launch), "1,1\n(.|\n)*Assertion `0' failed");
}

// --------------------------------------------------------------------------
// Sliding and collision rules

TEST_F(FastSim, Collisions) {
    // Head-on without spin: the struck stone takes the whole speed along the
    // line of centres, the striker stops.
    const double phi = 0.3;
    StoneMotion a = movingStone(0, 0, phi, 2.5, 0);
    a.time = 1.25;
    StoneMotion b;
    b.x = TWO_STONE_R * std::sin(phi);
    b.y = TWO_STONE_R * std::cos(phi);
    collideResting(a, b);
    EXPECT_NEAR(b.speed, 2.5, 1e-12);
    EXPECT_NEAR(b.angle, phi, 1e-12);
    EXPECT_NEAR(b.spin, 0, 1e-12);
    EXPECT_EQ(b.time, 1.25);
    EXPECT_NEAR(a.speed, 0, 1e-12);
    EXPECT_NEAR(a.angle, phi, 1e-12);

    // A glancing hit with spin: the striker leaves across the line of centres.
    StoneMotion c = movingStone(0, 0, 0.5, 2.0, CURL_RATIO), d;
    d.y = TWO_STONE_R;
    collideResting(c, d);
    const double e = (std::sin(0.5) * 2.0 - CURL_RATIO * STONE_R) * COLLIDE_FRICTION;
    EXPECT_NEAR(d.speed, std::hypot(std::cos(0.5) * 2.0, e), 1e-12);
    EXPECT_NEAR(c.speed, std::sin(0.5) * 2.0 - e, 1e-12);
    EXPECT_NEAR(c.angle, M_PI / 2, 1e-12);
    EXPECT_NEAR(c.spin, CURL_RATIO + 2 * e / STONE_R, 1e-12);

    // Two moving stones head-on swap speeds; results are clamped to V_MAX.
    StoneMotion f = movingStone(0, 0, 0, 3.0, 0), g = movingStone(0, TWO_STONE_R, 0, 1.0, 0);
    collideMoving(f, g);
    EXPECT_NEAR(f.speed, 1.0, 1e-12);
    EXPECT_NEAR(g.speed, 3.0, 1e-12);
    StoneMotion h = movingStone(0, 0, 0, V_MAX, 400), i = movingStone(0, TWO_STONE_R, 0, 0, 400);
    collideMoving(h, i);
    EXPECT_EQ(i.speed, V_MAX);
}

TEST_F(FastSim, SlidingAlongThePath) {
    StoneMotion s = movingStone(0.3, -20, 0.05, 12.0, CURL_RATIO);
    const int k = speedIndex(s.speed);

    StoneMotion same = s;
    slideBetween(tables, k, k, same);
    EXPECT_TRUE(same.x == s.x && same.y == s.y && same.angle == s.angle && same.speed == s.speed);

    // Sliding in two legs comes to rest where one slide does, for both curls.
    for (double spin : {CURL_RATIO, -CURL_RATIO}) {
        StoneMotion whole = s, legs = s;
        whole.spin = legs.spin = spin;
        slideToRest(tables, k, whole);
        const int mid = speedIndex(5.0);
        slideBetween(tables, k, mid, legs);
        EXPECT_NEAR(legs.speed, 5.0, 0.01);
        EXPECT_GT(legs.y, s.y + 1);
        slideToRest(tables, mid, legs);
        EXPECT_NEAR(legs.x, whole.x, 1e-9);
        EXPECT_NEAR(legs.y, whole.y, 1e-9);
        EXPECT_NEAR(legs.time, whole.time, 1e-12);
        EXPECT_NEAR(whole.time, 12.0 / DECEL, 1e-3);
    }
}

TEST_F(FastSim, SlideToRestMirrorsAcrossTheLineOfTravel) {
    const double heading = 0.4;
    StoneMotion plus = movingStone(0.2, -10, heading, 8.0, CURL_RATIO);
    StoneMotion minus = plus;
    minus.spin = -CURL_RATIO;
    slideToRest(tables, speedIndex(8.0), plus);
    slideToRest(tables, speedIndex(8.0), minus);
    const double ux = std::sin(heading), uy = std::cos(heading);
    const double px = plus.x - 0.2, py = plus.y + 10;
    const double along = px * ux + py * uy;
    EXPECT_GT(std::fabs(px * uy - py * ux), 0.05);  // the path does curl
    EXPECT_NEAR(minus.x - 0.2, 2 * along * ux - px, 1e-9);
    EXPECT_NEAR(minus.y + 10, 2 * along * uy - py, 1e-9);
    // Positive spin curls toward the direction of travel turned by -90 degrees.
    EXPECT_GT(px * uy - py * ux, 0);
}

TEST_F(FastSim, SpeedsBeyondTheTablesReadTheLastEntry) {
    // A striker carrying a large spin sends the struck stone off faster than
    // the tables reach.
    StoneMotion a = movingStone(0, 0, 0, 20.0, 1500.0);
    StoneMotion b;
    b.y = TWO_STONE_R;
    collideResting(a, b);
    ASSERT_GT(b.speed, (PATH_TABLE_SIZE - 1) * W_STEP);
    ASSERT_GT(b.speed, (DISTANCE_TABLE_SIZE - 1) * V_STEP);
    EXPECT_EQ(tables.stopDistance(b.speed), tables.distanceBySpeed[DISTANCE_TABLE_SIZE - 1]);
    StoneMotion atLast = b;
    slideToRest(tables, speedIndex(b.speed), b);
    slideToRest(tables, PATH_TABLE_SIZE - 1, atLast);
    EXPECT_EQ(b.x, atLast.x);
    EXPECT_EQ(b.y, atLast.y);

    // The same collision in a shot: the spin that the striker takes on sends
    // it off as well, and the result is a well-formed board without either.
    for (int stones : {1, 2}) {
        ThinkBoard board = stones == 1 ? makeBoard(10, {{BLACK, 0.0, 0.0}})
                                       : makeBoard(10, {{BLACK, 0.0, 0.0}, {WHITE, 1.5, 1.0}});
        MotionState launch = launchState(aimHit({0, 0}, 30, 0));
        launch.spin = 3000.0;
        const int code = stones == 1 ? simulateTwoStones(board, launch) : simulateGeneral(board, launch);
        EXPECT_EQ(code, 2);
        EXPECT_EQ(board.count[BLACK], 0) << "both stones fly off";
        for (int j = 0; j < board.count[WHITE]; ++j)
            EXPECT_TRUE(isInPlayArea(board.stones[WHITE][j].x, board.stones[WHITE][j].y));
    }
}

// --------------------------------------------------------------------------
// Shot simulation

TEST_F(FastSim, HitOnTheTeeApproachesInTwoSteps) {
    for (int flag : {0, 1}) {
        const double m = flag == 0 ? 1 : -1;
        const MotionState launch = launchState(aimHit({0, 0}, 30, flag));
        EXPECT_EQ(launch.spin, m * CURL_RATIO);
        StoneMotion thrown = thrownFrom(launch);
        StoneMotion tee;
        const detail::Approach a = detail::approachResting(tables, thrown, tee);
        EXPECT_TRUE(a.contact);
        EXPECT_EQ(a.steps, 2);
        EXPECT_NEAR(thrown.x, m * -0.025, 0.001);
        EXPECT_NEAR(thrown.y, -0.289, 0.001);
        EXPECT_NEAR(thrown.speed, 5.69, 0.01);
        EXPECT_NEAR(thrown.angle, m * 0.081, 0.001);
    }

    // The whole shot: the struck stone is driven back and both stay in play.
    ThinkBoard spin0 = makeBoard(11, {{BLACK, 0.0, 0.0}});
    ThinkBoard spin1 = spin0;
    EXPECT_EQ(simulateTwoStones(spin0, launchState(aimHit({0, 0}, 30, 0))), 2);
    EXPECT_EQ(simulateTwoStones(spin1, launchState(aimHit({0, 0}, 30, 1))), 2);
    ASSERT_EQ(spin0.count[BLACK], 1);
    ASSERT_EQ(spin0.count[WHITE], 1);
    EXPECT_GT(spin0.stones[BLACK][0].y, 0.5);
    expectMirrored(spin0, spin1);
}

TEST_F(FastSim, BothSpinsMirrorInCrowdedPositions) {
    const std::vector<KelvoTest::StoneAt> stones = {
        {BLACK, 0.3, 0.2}, {BLACK, -0.6, 0.9}, {WHITE, 0.15, -0.9}, {WHITE, 0.7, -0.1}, {BLACK, -0.2, -3.0}};
    std::vector<KelvoTest::StoneAt> mirrored = stones;
    for (auto& s : mirrored)
        s.x = -s.x;
    const Vec2 targets[] = {{0.3, 0.2}, {0.15, -0.9}, {0.7, -0.1}, {-0.6, 0.9}};
    for (const Vec2 target : targets) {
        for (double speed : {30.5, 31.5, 33.5}) {
            ThinkBoard a = makeBoard(10, stones);
            ThinkBoard b = makeBoard(10, mirrored);
            const int codeA = simulateGeneral(a, launchState(aimHit(target, speed, 0)));
            const int codeB = simulateGeneral(b, launchState(aimHit({-target.x, target.y}, speed, 1)));
            EXPECT_EQ(codeA, codeB);
            EXPECT_EQ(codeA, 2) << target.x << "," << target.y << " at " << speed;
            expectMirrored(a, b, 1e-7);
            // Stones the shot left alone keep their polar form and moved
            // ones get a new one: either way, the one their place gives.
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < a.count[c]; ++i) {
                    const fStonePos& s = a.stones[c][i];
                    const fStonePos fresh = makeStonePos(s.x, s.y);
                    EXPECT_TRUE(s.r == fresh.r && s.th == fresh.th) << c << " " << i;
                }
        }
    }
}

TEST_F(FastSim, ProtectedStoneKnockedOutVoidsTwoStoneShot) {
    // WHITE to move at turn 15: the BLACK guard is protected.
    const ThinkBoard before = makeBoard(15, {{BLACK, 0.0, -2.5}});
    ASSERT_TRUE(before.state[BLACK][0] & ST_PROTECTED);
    ThinkBoard board = before;
    EXPECT_EQ(simulateTwoStones(board, launchState(aimHit({0, -2.5}, V_MAX, 0))), 0);
    expectSameStones(board, before);

    // A softer hit keeps the guard in play: both stones are placed again.
    board = before;
    EXPECT_EQ(simulateTwoStones(board, launchState(aimHit({0, -2.5}, 29.0, 0))), 2);
    EXPECT_EQ(board.count[BLACK], 1);
    EXPECT_EQ(board.count[WHITE], 1);
    EXPECT_GT(board.stones[BLACK][0].y, -2.4);

    // Without protection the hard hit removes the guard from the sheet.
    const ThinkBoard late = makeBoard(11, {{BLACK, 0.0, -2.5}});
    board = late;
    EXPECT_EQ(simulateTwoStones(board, launchState(aimHit({0, -2.5}, V_MAX, 0))), 2);
    EXPECT_EQ(board.count[BLACK], 0);
    EXPECT_EQ(board.count[WHITE], 1);
}

TEST_F(FastSim, ProtectedStoneKnockedOutByChainVoidsShot) {
    // BLACK to move at turn 14; the thrown stone drives a BLACK stone into
    // the protected WHITE guard, which leaves over the back line.
    const std::vector<KelvoTest::StoneAt> stones = {{BLACK, 0.0, -5.5}, {WHITE, 0.0, -2.3}};
    const ThinkBoard before = makeBoard(14, stones);
    ASSERT_TRUE(before.state[WHITE][0] & ST_PROTECTED);
    ThinkBoard board = before;
    EXPECT_EQ(simulateGeneral(board, launchState(aimHit({0, -5.5}, V_MAX, 0))), 0);
    expectSameStones(board, before);

    // The same shot after the protection ended: the guard is gone.
    board = makeBoard(12, stones);
    EXPECT_EQ(simulateGeneral(board, launchState(aimHit({0, -5.5}, V_MAX, 0))), 2);
    EXPECT_EQ(board.count[WHITE], 0);
    EXPECT_EQ(board.count[BLACK], 2);
    for (int j = 0; j < board.count[BLACK]; ++j)
        EXPECT_TRUE(isInPlayArea(board.stones[BLACK][j].x, board.stones[BLACK][j].y));
}

TEST_F(FastSim, StrikingTouchingStonesPassesTheMotionOn) {
    // The thrown stone stops on the tee stone, which passes its speed on to
    // the stone touching it; stones that touch but move apart do not collide
    // again, so nothing gains speed from repeated contacts.
    ThinkBoard board = makeBoard(10, {{BLACK, 0.0, 0.0}, {WHITE, 0.0, 0.2902}});
    StoneMotion thrown = movingStone(0, -0.2903, 0, 3.0, CURL_RATIO);
    StoneMotion struck;
    collideResting(thrown, struck);
    FSBoard fs;
    fs.setupAfterFirstHit(board, 0, thrown, struck);
    detail::LoopTrace trace;
    EXPECT_EQ(detail::runEventLoop(board, fs, &trace), 2);
    EXPECT_FALSE(trace.handedOver);
    EXPECT_LT(trace.events, 10);
    ASSERT_EQ(board.count[BLACK], 2);
    ASSERT_EQ(board.count[WHITE], 1);
    EXPECT_NEAR(board.stones[BLACK][0].y, 0.0, 0.01);
    EXPECT_NEAR(board.stones[BLACK][1].y, -0.2903, 0.01);
    EXPECT_NEAR(board.stones[WHITE][0].y, 0.2902 + tables.stopDistance(3.0), 0.05);

    // The same position struck by a real shot keeps every stone in play.
    ThinkBoard shot = makeBoard(10, {{BLACK, 0.0, 0.0}, {WHITE, 0.0, 0.2902}});
    EXPECT_EQ(simulateGeneral(shot, launchState(aimHit({0, 0}, 29.5, 0))), 2);
    EXPECT_EQ(shot.count[BLACK], 2);
    EXPECT_EQ(shot.count[WHITE], 1);
}

TEST_F(FastSim, CountsFollowTheSetsThroughTheEventLoop) {
    // A heavy hit into a crowded house: stones are struck awake, come to
    // rest and leave over the back line, and the counts follow every move.
    const std::vector<KelvoTest::StoneAt> crowd = {{BLACK, 0.0, 0.0},  {WHITE, 0.31, 0.3},  {BLACK, -0.32, 0.35},
                                                   {WHITE, 0.0, 0.62}, {BLACK, 0.35, 1.7},  {WHITE, -0.3, 1.75},
                                                   {BLACK, 0.05, 1.2}};
    int left = 0;
    for (double heading : {-0.12, -0.04, 0.0, 0.05, 0.11}) {
        ThinkBoard board = makeBoard(8, crowd);
        StoneMotion thrown = movingStone(0, -0.2903, heading, 10.0, CURL_RATIO);
        StoneMotion struck = movingStone(0, 0, 0, 0, 0);
        collideResting(thrown, struck);
        FSBoard fs;
        fs.setupAfterFirstHit(board, 0, thrown, struck);
        detail::LoopTrace trace;
        EXPECT_EQ(detail::runEventLoop(board, fs, &trace), 2) << heading;
        EXPECT_EQ(fs.nAwake, fs.awakes.size()) << heading;
        EXPECT_EQ(fs.nAsleep, fs.asleeps.size()) << heading;
        EXPECT_EQ(fs.nAsleep, stonesOnSheet(board)) << heading;
        left += 8 - stonesOnSheet(board);
    }
    EXPECT_GT(left, 0) << "no stone left play";
}

TEST_F(FastSim, SlidingAwayFromATouchingStoneLeavesIt) {
    // A stone sliding away from a stone it touches leaves it where it is.
    ThinkBoard away = makeBoard(10, {});
    FSBoard leaving = movingPair(movingStone(0, 0, M_PI, 2.0, CURL_RATIO), BLACK,
                                 movingStone(1.5, 0, M_PI, 0.5, CURL_RATIO), BLACK, {{0, 0.2903, BLACK}});
    EXPECT_EQ(simulateFSBoard(away, leaving), 2);
    EXPECT_EQ(leaving.stones[2].motion.y, 0.2903);
    EXPECT_EQ(leaving.stones[2].motion.x, 0.0);
    EXPECT_LT(leaving.stones[0].motion.y, -0.1);
}

TEST_F(FastSim, EndlessEventsAreFinishedByTheExactSimulator) {
    // Two stones sliding side by side a hair apart: every pass estimates a
    // possible meeting within a tiny time, so the passes never run out.
    ThinkBoard board = makeBoard(10, {{WHITE, 1.0, -1.0}});
    FSBoard fs = movingPair(movingStone(0, -3.0, 0, 3.0, CURL_RATIO), BLACK,
                            movingStone(0.2915, -3.0, 0, 3.0, CURL_RATIO), BLACK, {{1.0, -1.0, ST_WHITE}});

    detail::LoopTrace trace;
    EXPECT_EQ(detail::runEventLoop(board, fs, &trace), 2);
    EXPECT_TRUE(trace.handedOver);
    EXPECT_EQ(trace.events, MAX_EVENTS + 1);
    ASSERT_EQ(board.count[BLACK], 2);
    ASSERT_EQ(board.count[WHITE], 1);
    EXPECT_EQ(board.stones[WHITE][0].x, double(1.0f));
    // The exact run finishes the slide: both stones end well ahead of where
    // the fast passes left them, still side by side.
    const fStonePos& a = board.stones[BLACK][0];
    const fStonePos& b = board.stones[BLACK][1];
    EXPECT_NEAR(a.y, -3.0 + tables.stopDistance(3.0), 0.05);
    EXPECT_NEAR(b.y, -3.0 + tables.stopDistance(3.0), 0.05);
    EXPECT_GT(std::hypot(a.x - b.x, a.y - b.y), TWO_STONE_R);
}

TEST_F(FastSim, ProtectedStoneKnockedOutAfterTheHandOverVoidsShot) {
    // The side-by-side pair runs into a protected guard only after the
    // passes gave up; the exact run knocks the guard over the side line.
    for (int turn : {13, 11}) {
        const ThinkBoard before = makeBoard(turn, {{BLACK, 1.6, -3.0}});
        ASSERT_EQ((before.state[BLACK][0] & ST_PROTECTED) != 0, turn == 13);
        ThinkBoard board = before;
        FSBoard fs = movingPair(movingStone(0.9, -3.0, M_PI / 2, 6.0, CURL_RATIO), ST_WHITE,
                                movingStone(0.9, -3.2915, M_PI / 2, 6.0, CURL_RATIO), ST_WHITE,
                                {{1.6, -3.0, before.state[BLACK][0]}});

        detail::LoopTrace trace;
        const int code = detail::runEventLoop(board, fs, &trace);
        EXPECT_TRUE(trace.handedOver);
        if (turn == 13) {
            EXPECT_EQ(code, 0);
            expectSameStones(board, before);
        } else {
            EXPECT_EQ(code, 2);
            EXPECT_EQ(board.count[BLACK], 0) << "the guard is gone";
            EXPECT_GE(board.count[WHITE], 1);
        }
    }
}

TEST_F(FastSim, ProtectedStoneMovingAtTheHandOverVoidsShotWhenItLeaves) {
    // The side-by-side pair hands over to the exact run; one of them is a
    // struck protected guard, and both slide over the side line.
    const ThinkBoard before = makeBoard(13, {{BLACK, 1.6, -3.0}});
    const int32_t guard = before.state[BLACK][0];
    ASSERT_TRUE(guard & ST_PROTECTED);
    ThinkBoard board = before;
    FSBoard fs = movingPair(movingStone(0.9, -3.0, M_PI / 2, 6.0, CURL_RATIO), ST_WHITE,
                            movingStone(0.9, -3.2915, M_PI / 2, 6.0, CURL_RATIO), guard, {});
    detail::LoopTrace trace;
    EXPECT_EQ(detail::runEventLoop(board, fs, &trace), 0);
    EXPECT_TRUE(trace.handedOver);
    expectSameStones(board, before);
}

TEST_F(FastSim, StonesSpeededUpByAMovingContactStillHitRestingStones) {
    // Stone 0 runs into the slow stone 1, which takes over its speed. Stone 2
    // was out of reach of both before the contact, but not of stone 1 after it.
    ThinkBoard board = makeBoard(10, {});
    FSBoard fs = movingPair(movingStone(0, -2.6, 0, 6.0, CURL_RATIO), BLACK,
                            movingStone(0, -2.2, 0, 2.0, CURL_RATIO), ST_WHITE, {{0, -0.7, BLACK}});
    ASSERT_GT(1.9, tables.stopDistance(6.0) + TWO_STONE_R);
    ASSERT_GT(1.5, tables.stopDistance(2.0) + TWO_STONE_R);

    EXPECT_EQ(simulateFSBoard(board, fs), 2);
    ASSERT_EQ(board.count[BLACK], 2);
    ASSERT_EQ(board.count[WHITE], 1);
    EXPECT_GT(fs.stones[2].motion.y, -0.65) << "stone 2 was struck";
    // No two stones at rest overlap.
    const fStonePos all[] = {board.stones[BLACK][0], board.stones[BLACK][1], board.stones[WHITE][0]};
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j)
            EXPECT_GT(std::hypot(all[i].x - all[j].x, all[i].y - all[j].y), TWO_STONE_R - 0.001);
}

TEST_F(FastSim, ClearPathAndPassingStones) {
    // A draw comes to rest at its target; spin flag 1 mirrors a straight throw.
    fMoveXY<double> rec;
    rec.spin = 0;
    drawTo(tables, {0.5, 0.3}, rec);
    ThinkBoard board = makeBoard(10, {{WHITE, -1.5, 1.0}});
    EXPECT_EQ(simulateClearPath(board, std::hypot(rec.x, rec.y), std::atan2(rec.x, rec.y), 0), 1);
    ASSERT_EQ(board.count[BLACK], 1);
    EXPECT_NEAR(board.stones[BLACK][board.lastIndex].x, 0.5, 0.0005);
    EXPECT_NEAR(board.stones[BLACK][board.lastIndex].y, 0.3, 0.0005);

    ThinkBoard left = makeBoard(10, {}), right = makeBoard(10, {});
    EXPECT_EQ(simulateClearPath(left, 30.0, 0.0, 0), 1);
    EXPECT_EQ(simulateClearPath(right, 30.0, 0.0, 1), 1);
    expectMirrored(left, right, 0);

    // A wide throw rests beyond the side line.
    ThinkBoard wide = makeBoard(10, {});
    EXPECT_EQ(simulateClearPath(wide, 30.0, 0.12, 0), 0);
    EXPECT_EQ(stonesOnSheet(wide), 0);

    // A draw that passes a stone without touching it rests as on a clear path.
    rec.spin = 0;
    drawTo(tables, {0.0, 0.0}, rec);
    const std::vector<KelvoTest::StoneAt> passed = {{WHITE, 0.45, -1.5}, {WHITE, -1.5, 1.0}};
    ThinkBoard general = makeBoard(10, passed);
    ThinkBoard clear = makeBoard(10, passed);
    EXPECT_EQ(simulateGeneral(general, launchState(rec)), 1);
    EXPECT_EQ(simulateClearPath(clear, std::hypot(rec.x, rec.y), std::atan2(rec.x, rec.y), 0), 1);
    ASSERT_EQ(general.count[BLACK], 1);
    EXPECT_NEAR(general.stones[BLACK][0].x, clear.stones[BLACK][0].x, 1e-9);
    EXPECT_NEAR(general.stones[BLACK][0].y, clear.stones[BLACK][0].y, 1e-9);
    EXPECT_EQ(general.count[WHITE], 2);
}

}  // namespace

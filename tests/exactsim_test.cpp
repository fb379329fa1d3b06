// The exact simulator: ice model, run loop, hand-over from the fast board and
// whole shots from the throw point.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "kelvosim/classic/fastsimulator.h"
#include "kelvosim/classic/simulator.h"
#include "support.h"

using namespace Kelvo;

namespace {

FSStone sliding(double x, double y, double heading, double speed, double spin) {
    FSStone s;
    s.motion.x = x;
    s.motion.y = y;
    s.motion.angle = heading;
    s.motion.speed = speed;
    s.motion.spin = spin;
    return s;
}

// A fast board with the given awake stones (from slot 0) and asleep stones
// (after them).
struct FSSetup {
    FSBoard fs;
    int next = 0;
    void awake(const FSStone& s, int32_t state) {
        fs.stones[next] = s;
        fs.stones[next].state = state;
        fs.addAwake(next++);
    }
    void asleep(double x, double y, int32_t state) {
        fs.stones[next].motion.x = x;
        fs.stones[next].motion.y = y;
        fs.stones[next].state = state;
        fs.addAsleep(next++);
    }
};

ThinkBoard emptyBoard(int turn) { return KelvoTest::makeBoard(turn, {}); }

// One stone alone in a world, run to rest; returns its resting position.
b2Vec2 runAlone(double spin, int* count = nullptr) {
    B2Board b;
    addMovingStone(b, sliding(0, -30, 0, 10, spin), BLACK);
    const int n = simulateB2(&b, EXACT_DT);
    if (count)
        *count = n;
    EXPECT_EQ(b.numMoving, 0);
    EXPECT_EQ(b.numResting, 1);
    return b.body[0]->GetPosition();
}

bool sameBoard(const ThinkBoard& a, const ThinkBoard& b) {
    if (a.turn != b.turn || a.frontY != b.frontY || a.endScore != b.endScore)
        return false;
    for (int c = 0; c < 2; ++c) {
        if (a.count[c] != b.count[c] || a.inHouse[c] != b.inHouse[c])
            return false;
        for (int j = 0; j < a.count[c]; ++j)
            if (a.stones[c][j].x != b.stones[c][j].x || a.stones[c][j].y != b.stones[c][j].y ||
                a.state[c][j] != b.state[c][j])
                return false;
    }
    return true;
}

}  // namespace

TEST(ExactIceModel, StopsDeadWhenTheLossReachesTheSpeed) {
    const StoneVelocity equal = applyFriction(0.5, 0.0, 0.5, 3.0);
    EXPECT_EQ(equal.vx, 0.0);
    EXPECT_EQ(equal.vy, 0.0);
    EXPECT_EQ(equal.w, 0.0);

    const StoneVelocity nan = applyFriction(0.5, std::nan(""), 1.0, 3.0);
    EXPECT_EQ(nan.vy, 0.0);
    EXPECT_EQ(nan.w, 0.0);

    const StoneVelocity above = applyFriction(0.5, 0.0, 0.75, 3.0);
    EXPECT_DOUBLE_EQ(above.vy, 0.25);
    EXPECT_EQ(above.w, 3.0);

    // The same rule on a body: velocity and spin both cleared.
    b2World world(b2Vec2(0, 0));
    b2Body* body = createStone(0, 0, world);
    body->SetLinearVelocity(b2Vec2(0.0f, 0.5f));
    body->SetAngularVelocity(2.0f);
    frictionStep(0.5, body);
    EXPECT_EQ(body->GetLinearVelocity().x, 0.0f);
    EXPECT_EQ(body->GetLinearVelocity().y, 0.0f);
    EXPECT_EQ(body->GetAngularVelocity(), 0.0f);
}

TEST(ExactIceModel, CurlTurnsTheLossSidewaysBySpinSign) {
    const double dv = 0.1, c = dv * CURL_RATIO;
    // Travel along +Y: positive spin pushes toward +X, negative toward -X.
    EXPECT_DOUBLE_EQ(applyFriction(dv, 0, 10, 1).vx, c);
    EXPECT_DOUBLE_EQ(applyFriction(dv, 0, 10, -1).vx, -c);
    EXPECT_EQ(applyFriction(dv, 0, 10, 0).vx, 0.0);
    EXPECT_DOUBLE_EQ(applyFriction(dv, 0, 10, 1).vy, 10 - dv);
    // Travel along +X: positive spin pushes toward -Y.
    EXPECT_DOUBLE_EQ(applyFriction(dv, 10, 0, 0.001).vy, -c);
}

TEST(ExactRun, StraightWithoutSpinCurlsMirroredWithIt) {
    int count = 0;
    const b2Vec2 straight = runAlone(0.0, &count);
    EXPECT_EQ(straight.x, 0.0f);
    // v^2 / (2 DECEL) for speed 10, up to the step's resolution.
    EXPECT_NEAR(straight.y + 30, 100 / (2 * DECEL), 0.02);
    EXPECT_NEAR(count, 10 / (EXACT_DT * DECEL), 1.5);

    const b2Vec2 right = runAlone(CURL_RATIO);
    const b2Vec2 left = runAlone(-CURL_RATIO);
    EXPECT_GT(right.x, 0.05f);
    EXPECT_NEAR(left.x, -right.x, 1e-6);
    EXPECT_NEAR(left.y, right.y, 1e-6);
}

TEST(ExactHandOver, WithoutAwakeStonesTakesOneStepAndWritesBack) {
    FSSetup s;
    s.asleep(0.3, 0.2, BLACK);
    s.asleep(-1.0, -2.0, WHITE | ST_FREEGUARD | ST_PROTECTED);
    ThinkBoard out = emptyBoard(13);
    EXPECT_EQ(simulateExact(s.fs, out, EXACT_DT), 2);
    ASSERT_EQ(out.count[BLACK], 1);
    ASSERT_EQ(out.count[WHITE], 1);
    EXPECT_EQ(out.stones[BLACK][0].x, double(0.3f));
    EXPECT_EQ(out.stones[WHITE][0].y, double(-2.0f));
    EXPECT_EQ(out.inHouse[BLACK], 1);
    EXPECT_EQ(out.inHouse[WHITE], 0);
}

TEST(ExactHandOver, StoneLeavingThePlayAreaIsRemovedAndTheRunGoesOn) {
    FSSetup s;
    s.awake(sliding(1.8, -1.0, M_PI / 2, 6, CURL_RATIO), WHITE);  // off the side
    s.awake(sliding(0.0, -1.0, M_PI, 6, -CURL_RATIO), BLACK);      // slides back toward the thrower
    s.awake(sliding(0.0, 1.0, 0, 8, 0), BLACK);                    // over the back line
    ThinkBoard out = emptyBoard(10);
    EXPECT_GT(simulateExact(s.fs, out, EXACT_DT), 0);
    EXPECT_EQ(out.count[WHITE], 0);
    ASSERT_EQ(out.count[BLACK], 1);
    EXPECT_NEAR(out.stones[BLACK][0].y, -1.0 - 36 / (2 * DECEL), 0.02);
}

TEST(ExactHandOver, StruckRestingStoneMovesAndCanBeRemoved) {
    {
        // A light hit: the struck stone is pushed back but stays in play.
        FSSetup s;
        s.awake(sliding(0, -1.0, 0, 6, 0), WHITE);
        s.asleep(0, 0.5, BLACK);
        ThinkBoard out = emptyBoard(10);
        simulateExact(s.fs, out, EXACT_DT);
        ASSERT_EQ(out.count[BLACK], 1);
        ASSERT_EQ(out.count[WHITE], 1);
        EXPECT_GT(out.stones[BLACK][0].y, 0.6);
        EXPECT_LT(out.stones[WHITE][0].y, out.stones[BLACK][0].y - TWO_STONE_R);
    }
    {
        // A heavy hit drives it over the back line.
        FSSetup s;
        s.awake(sliding(0, -1.0, 0, 20, 0), WHITE);
        s.asleep(0, 0.5, BLACK);
        s.asleep(1.5, -1.0, BLACK);
        ThinkBoard out = emptyBoard(10);
        simulateExact(s.fs, out, EXACT_DT);
        ASSERT_EQ(out.count[BLACK], 1);
        EXPECT_EQ(out.stones[BLACK][0].x, double(1.5f));
        EXPECT_EQ(out.count[WHITE], 1);
    }
}

// Standard output is the protocol's channel: a resting stone outside the
// play area is reported on standard error before the check ends the process.
TEST(ExactRunDeathTest, AStoneOutsideThePlayAreaIsReportedOnStandardError) {
    EXPECT_DEATH(
        {
            B2Board b;
            addRestingStone(b, Vec2{3.0, 0.5}, BLACK);
        },
        "3\\.000000, 0\\.500000\n.*isInPlayArea");
}

TEST(ExactHandOver, ProtectedStoneKnockedOutEndsTheRunAtOnce) {
    B2Board b;
    addMovingStone(b, sliding(0, -1.0, 0, 20, 0), BLACK);
    addMovingStone(b, sliding(-1.5, -20.0, 0, 12, 0), BLACK);  // still sliding when the run stops
    addRestingStone(b, Vec2{0, 0.5}, WHITE | ST_FREEGUARD | ST_PROTECTED);
    EXPECT_EQ(simulateB2(&b, EXACT_DT), 0);
    EXPECT_GE(b.numMoving, 2);
    bool protectedOut = false, otherMoving = false;
    for (int i = 0; i < b.numMoving; ++i) {
        const b2Vec2 p = b.body[i]->GetPosition();
        if (b.stoneState[i] & ST_PROTECTED)
            protectedOut = p.y >= float(PLAY_Y_MAX);
        else if (p.x < -1.0f)
            otherMoving = b.body[i]->GetLinearVelocity().y > 0;
    }
    EXPECT_TRUE(protectedOut);
    EXPECT_TRUE(otherMoving);

    // Through the hand-over: the rest are written where they are, the
    // protected stone is dropped.
    FSSetup s;
    s.awake(sliding(0, -1.0, 0, 20, 0), BLACK);
    s.asleep(0, 0.5, WHITE | ST_FREEGUARD | ST_PROTECTED);
    ThinkBoard out = emptyBoard(13);
    EXPECT_EQ(simulateExact(s.fs, out, EXACT_DT), 0);
    EXPECT_EQ(out.count[WHITE], 0);
    EXPECT_EQ(out.count[BLACK], 1);
}

TEST(ExactHandOver, VoidComesFromTheProtectionNotFromTheStoneCount) {
    // An unprotected stone leaves play in the first step, which ends the run
    // with a count of 0 and one stone fewer, while a protected guard rests
    // untouched: the shot stands.
    {
        FSSetup s;
        s.awake(sliding(2.2, 0.0, M_PI / 2, 2.0, CURL_RATIO), BLACK);
        s.asleep(0.5, -3.0, WHITE | ST_FREEGUARD | ST_PROTECTED);
        ThinkBoard out = emptyBoard(13);
        EXPECT_EQ(simulateExact(s.fs, out, EXACT_DT), 2);
        EXPECT_EQ(out.count[BLACK], 0);
        EXPECT_EQ(out.count[WHITE], 1);
    }
    // A protected stone struck before the hand-over and still moving keeps
    // its protection: sliding out of play, it voids the shot.
    for (int32_t state : {BLACK | ST_PROTECTED, int32_t(BLACK)}) {
        FSSetup s;
        s.awake(sliding(1.5, -3.0, M_PI / 2, 6.0, CURL_RATIO), state);
        s.asleep(0.0, 0.0, WHITE);
        ThinkBoard out = emptyBoard(13);
        EXPECT_EQ(simulateExact(s.fs, out, EXACT_DT), state & ST_PROTECTED ? 0 : 2);
        EXPECT_EQ(out.count[BLACK], 0);
    }
}

class ShotExact : public ::testing::Test {
protected:
    const MotionTables& tables = KelvoTest::tables();
};

TEST_F(ShotExact, DrawRestsOnItsTargetWithCodeOne) {
    for (int spin = 0; spin < 2; ++spin) {
        for (const Vec2 target : {Vec2{0.5, 0.3}, Vec2{-1.0, -4.0}}) {
            ThinkBoard board = KelvoTest::makeBoard(15, {{BLACK, 1.2, 1.2}});
            const ThinkBoard before = board;
            fMoveXY<double> shot;
            shot.spin = spin;
            drawTo(tables, target, shot);
            ASSERT_EQ(simulateShotExact(board, shot), 1);
            ASSERT_EQ(board.count[WHITE], 1);
            const fStonePos& rest = board.stones[WHITE][board.lastIndex];
            EXPECT_NEAR(rest.x, target.x, 0.05) << "spin " << spin;
            EXPECT_NEAR(rest.y, target.y, 0.05) << "spin " << spin;
            // The untouched stone keeps its exact coordinates.
            EXPECT_EQ(board.stones[BLACK][0].x, before.stones[BLACK][0].x);
            applyShot(board, CHANGE_ADDED);
            EXPECT_EQ(board.turn, 14);
        }
    }
}

TEST_F(ShotExact, ThrowThroughTheHouseChangesNothing) {
    ThinkBoard board = KelvoTest::makeBoard(15, {{BLACK, 1.5, -5.0}});
    const ThinkBoard before = board;
    fMoveXY<double> shot;
    shot.y = 33.0;
    EXPECT_EQ(simulateShotExact(board, shot), 0);
    EXPECT_TRUE(sameBoard(board, before));
}

TEST_F(ShotExact, TakeoutRemovesTheStruckStone) {
    ThinkBoard board = KelvoTest::makeBoard(15, {{BLACK, 0.2, 0.1}});
    fMoveXY<double> shot;
    shot.spin = 1;
    hitAt(tables, Vec2{0.2, 0.1}, 33, shot);
    ASSERT_EQ(simulateShotExact(board, shot), 2);
    EXPECT_EQ(board.count[BLACK], 0);
    EXPECT_LE(board.count[WHITE], 1);
    applyShot(board, CHANGE_REBUILT);
}

TEST_F(ShotExact, KnockingOutAProtectedGuardVoidsTheShot) {
    // WHITE's guard is protected while BLACK throws the third stone.
    ThinkBoard board = KelvoTest::makeBoard(14, {{WHITE, 0.1, -3.0}, {BLACK, 0.5, 0.5}});
    ASSERT_TRUE(board.state[WHITE][0] & ST_PROTECTED);
    const ThinkBoard before = board;
    fMoveXY<double> shot;
    hitAt(tables, Vec2{0.1, -3.0}, 33, shot);
    EXPECT_EQ(simulateShotExact(board, shot), 0);
    EXPECT_TRUE(sameBoard(board, before));

    // Once the rule no longer applies the same shot removes the guard.
    ThinkBoard later = KelvoTest::makeBoard(12, {{WHITE, 0.1, -3.0}, {BLACK, 0.5, 0.5}});
    ASSERT_EQ(simulateShotExact(later, shot), 2);
    EXPECT_EQ(later.count[WHITE], 0);
}

// A stone that carries the spin of an earlier contact drives the next stone
// sideways through the friction at the contact: the rules of the fast
// simulation must send it the way the physics does, and about as far.
TEST_F(ShotExact, SpinningStrikerThrowsTheStruckStoneAsThePhysicsDoes) {
    constexpr double SPEED = 5.0, SPIN = 30.0, GAP = 0.05;
    for (double moving : {0.0, 1.0}) {  // the struck stone at rest, then sliding ahead
        for (double spin : {SPIN, -SPIN}) {
            // Head-on along +Y: only the spin makes the contact glance.
            StoneMotion a;
            a.speed = SPEED;
            a.spin = spin;
            StoneMotion b;
            b.y = TWO_STONE_R;
            b.speed = moving;
            b.spin = CURL_RATIO;
            if (moving > 0)
                collideMoving(a, b);
            else
                collideResting(a, b);
            slideToRest(tables, speedIndex(b.speed), b);

            B2Board exact;
            addMovingStone(exact, sliding(0, -GAP, 0, SPEED + GAP * DECEL / SPEED, spin), BLACK);
            if (moving > 0)
                addMovingStone(exact, sliding(0, TWO_STONE_R, 0, moving, CURL_RATIO), WHITE);
            else
                addRestingStone(exact, Vec2{0, TWO_STONE_R}, WHITE);
            simulateB2(&exact, REFERENCE_DT);
            double exactX = 0;
            for (int i = 0; i < exact.numResting; ++i)
                if (exact.stoneState[i] == WHITE)
                    exactX = exact.body[i]->GetPosition().x;

            // Positive spin turns counter-clockwise: the striker's front
            // moves toward -X and takes the struck stone with it.
            EXPECT_LT(exactX * spin, -0.05) << "moving " << moving;
            EXPECT_NEAR(b.x, exactX, 0.03) << "moving " << moving << " spin " << spin;
        }
    }
}

#include <gtest/gtest.h>

#include <cmath>

#include "kelvosim/classic/fastsimulator.h"
#include "support.h"

// The fixture keeps the name of the tables it checks.
using Kelvo::CURL_RATIO, Kelvo::DECEL, Kelvo::DISTANCE_TABLE_SIZE, Kelvo::PATH_TABLE_SIZE, Kelvo::TABLE_DT,
    Kelvo::V_MAX, Kelvo::V_STEP, Kelvo::W_STEP;
using Kelvo::MotionState, Kelvo::PathEntry, Kelvo::Vec2, Kelvo::Velocity;
using Kelvo::frictionBack, Kelvo::frictionForward, Kelvo::rotateToBoard, Kelvo::speedIndex, Kelvo::stepForward;

namespace {

class MotionTables : public ::testing::Test {
protected:
    const Kelvo::MotionTables& t = KelvoTest::tables();
};

// Where the tables say a stone launched from the origin comes to rest.
Vec2 predictedRest(double vx, double vy, double spin) {
    const double heading = std::atan2(vx, vy);
    const PathEntry e = KelvoTest::tables().pathEntry(speedIndex(std::hypot(vx, vy)), spin < 0);
    return rotateToBoard(heading + e.dAngle, e.dx, e.dy);
}

Vec2 integratedRest(double vx, double vy, double spin) {
    MotionState st{0, 0, vx, vy, spin};
    while (st.vx != 0 || st.vy != 0)
        stepForward(st, TABLE_DT);
    return Vec2{st.x, st.y};
}

}  // namespace

TEST_F(MotionTables, ModelConstants) {
    EXPECT_EQ(V_MAX, std::hypot(3.1, 33.6));
    EXPECT_DOUBLE_EQ(V_STEP, 0.002059491144705357);
    EXPECT_DOUBLE_EQ(W_STEP, 0.00013634759107533482);
    EXPECT_EQ(CURL_RATIO, 0.06669600307941437);
}

TEST_F(MotionTables, EntryZeroIsRest) {
    EXPECT_EQ(t.distanceBySpeed[0], 0.0);
    EXPECT_EQ(t.speedByDistance[0], 0.0);
    EXPECT_EQ(t.pathBySpeed[0].dx, 0.0);
    EXPECT_EQ(t.pathBySpeed[0].dy, 0.0);
    EXPECT_EQ(t.pathBySpeed[0].dAngle, 0.0);
    EXPECT_EQ(t.pathBySpeed[0].time, 0.0);
}

TEST_F(MotionTables, DistancesAndTimesFollowTheModel) {
    EXPECT_NEAR(t.distanceBySpeed[16384], 47.378, 0.01);
    EXPECT_NEAR(t.distanceBySpeed[DISTANCE_TABLE_SIZE - 1], 47.395, 0.01);
    // A constant deceleration: time left is speed / DECEL.
    for (int k : {1000, 7334, 100000, 247475}) {
        EXPECT_NEAR(t.pathBySpeed[k].time, k * W_STEP / DECEL, 1e-5) << k;
        EXPECT_NE(t.pathBySpeed[k].dAngle, 0.0) << k;
        EXPECT_NE(t.pathBySpeed[k].dx, 0.0) << k;
    }
    EXPECT_NEAR(t.pathBySpeed[speedIndex(1.0)].time, 0.08327, 1e-4);
    // speedByDistance inverts distanceBySpeed.
    for (double s : {2.0, 10.0, 29.5, 33.0})
        EXPECT_NEAR(t.speedForDistance(t.stopDistance(s)), s, 1e-3) << s;
}

TEST_F(MotionTables, HalfStepFromRestAndStop) {
    const Velocity start = frictionBack(0.5, 0, 0, 0);
    EXPECT_EQ(start.vx, 0.0);
    EXPECT_EQ(start.vy, 0.5 / 20000);
    EXPECT_EQ(start.spin, CURL_RATIO);
    const Velocity stop = frictionForward(0.3, 0.3, 0.0, CURL_RATIO);
    EXPECT_EQ(stop.vx, 0.0);
    EXPECT_EQ(stop.vy, 0.0);
    EXPECT_EQ(stop.spin, 0.0);
    // A stone travelling along +y with positive spin curls toward +x.
    EXPECT_GT(frictionForward(0.1, 0.0, 5.0, 1.0).vx, 0.0);
    EXPECT_LT(frictionForward(0.1, 0.0, 5.0, -1.0).vx, 0.0);
}

TEST_F(MotionTables, TablesAgreeWithForwardIntegration) {
    struct Launch { double vx, vy; };
    for (Launch l : {Launch{-0.9, 29.5}, Launch{0.4, 31.0}, Launch{0.0, 20.0}, Launch{1.5, 33.5}, Launch{0.1, 5.0}})
        for (double spin : {CURL_RATIO, -CURL_RATIO}) {
            const Vec2 want = predictedRest(l.vx, l.vy, spin);
            const Vec2 got = integratedRest(l.vx, l.vy, spin);
            EXPECT_NEAR(got.x, want.x, 3e-4) << l.vx << "," << l.vy << " spin " << spin;
            EXPECT_NEAR(got.y, want.y, 3e-4) << l.vx << "," << l.vy << " spin " << spin;
        }
}

TEST_F(MotionTables, ReadsBeyondTheTablesClampToTheLastEntry) {
    EXPECT_EQ(speedIndex(1e9), PATH_TABLE_SIZE - 1);
    EXPECT_EQ(speedIndex(std::nan("")), 0);
    EXPECT_EQ(t.stopDistance(1e9), t.distanceBySpeed[DISTANCE_TABLE_SIZE - 1]);
    EXPECT_EQ(t.speedForDistance(1e9), t.speedByDistance[DISTANCE_TABLE_SIZE - 1]);
}

TEST_F(MotionTables, TablesAreBitForBitTheReferenceBuild) {
    // Hashes of the three tables as first built, by plain integration on
    // three threads; a faster build must reproduce every bit.
    using KelvoTest::fnv1a, KelvoTest::FNV_KEPT_BASIS;
    EXPECT_EQ(fnv1a(FNV_KEPT_BASIS, t.distanceBySpeed, sizeof t.distanceBySpeed), 0x23ef252e8a3632afULL);
    EXPECT_EQ(fnv1a(FNV_KEPT_BASIS, t.speedByDistance, sizeof t.speedByDistance), 0xeddddca3a7ef2f72ULL);
    EXPECT_EQ(fnv1a(FNV_KEPT_BASIS, t.pathBySpeed, sizeof t.pathBySpeed), 0x3d98bee5caa0caeaULL);
}

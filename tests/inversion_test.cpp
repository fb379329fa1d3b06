// Shot inversion checked against the motion model itself: the launch it
// computes is moved with the table rule of the clear-path simulation and
// integrated forward with the model, and must arrive where it was aimed.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kelvosim/classic/fastsimulator.h"
#include "support.h"

using namespace Kelvo;

namespace {

using Shot = fMoveXY<double>;

Shot aimed(int spin) {
    Shot s;
    s.spin = spin;
    return s;
}

// Rest point of a launch on a clear sheet, read from pathBySpeed: the rest
// frame vector of the launch speed, mirrored for spin 1, turned by the launch
// heading plus the row's heading.
Vec2 restByTable(const Shot& shot) {
    const double s = std::min(std::hypot(shot.x, shot.y), V_MAX);
    PathEntry e = KelvoTest::tables().pathBySpeed[int(s / W_STEP)];
    if (shot.spin == 1) {
        e.dx = -e.dx;
        e.dAngle = -e.dAngle;
    }
    const Vec2 d = rotateToBoard(std::atan2(shot.x, shot.y) + e.dAngle, e.dx, e.dy);
    return Vec2{d.x, d.y - TEE_TO_THROW};
}

// The table's resolution at the launch speed of a shot: how far apart the
// rest points of two neighbouring pathBySpeed rows lie (about 0.0003 at draw
// weight). The launch speed selects its row by truncation, so a rest point
// read from the table may fall short of the aim by up to one such cell.
double tableCell(const Shot& shot) {
    const int k = int(std::min(std::hypot(shot.x, shot.y), V_MAX) / W_STEP);
    const PathEntry& a = KelvoTest::tables().pathBySpeed[k];
    const PathEntry& b = KelvoTest::tables().pathBySpeed[k + 1];
    return std::hypot(b.dx - a.dx, b.dy - a.dy) + 1e-6;
}

MotionState launch(const Shot& shot) {
    MotionState st;
    st.y = -TEE_TO_THROW;
    st.vx = shot.x;
    st.vy = shot.y;
    st.spin = shot.spin == 0 ? CURL_RATIO : -CURL_RATIO;
    return st;
}

Vec2 restByIntegration(const Shot& shot) {
    MotionState st = launch(shot);
    while (st.vx != 0 || st.vy != 0)
        stepForward(st, TABLE_DT);
    return Vec2{st.x, st.y};
}

// Closest approach of the integrated path to p; integration stops once the
// stone is well past p.
double closestApproach(const Shot& shot, Vec2 p) {
    MotionState st = launch(shot);
    double best = 1e9;
    while ((st.vx != 0 || st.vy != 0) && st.y < p.y + 0.05) {
        stepForward(st, TABLE_DT);
        best = std::min(best, std::hypot(st.x - p.x, st.y - p.y));
    }
    return best;
}

double distance(Vec2 a, Vec2 b) { return std::hypot(a.x - b.x, a.y - b.y); }

class Inversion : public ::testing::Test {
protected:
    const MotionTables& tables = KelvoTest::tables();
};

TEST_F(Inversion, DrawToTheTee) {
    Shot s0 = aimed(0), s1 = aimed(1);
    drawTo(tables, Vec2{0, 0}, s0);
    drawTo(tables, Vec2{0, 0}, s1);
    EXPECT_NEAR(s0.x, -0.986, 0.001);
    EXPECT_NEAR(s0.y, 29.560, 0.001);
    EXPECT_NEAR(s1.x, 0.986, 0.001);
    EXPECT_NEAR(s1.y, 29.560, 0.001);
    EXPECT_LT(distance(restByIntegration(s0), Vec2{0, 0}), 0.001);
    EXPECT_LT(distance(restByIntegration(s1), Vec2{0, 0}), 0.001);
}

// Guards, house and the back of the house, both spins. Every launch is
// moved by the table rule; every seventh is also integrated forward (each
// integration is up to two million model steps).
TEST_F(Inversion, DrawToGridRestsAtTarget) {
    const std::vector<double> xs{-1.9, -1.2, -0.6, 0.0, 0.4, 1.0, 1.8};
    const std::vector<double> ys{-8.0, -5.0, -2.5, -1.5, -0.4, 0.0, 0.9, 1.9};
    int shots = 0;
    for (double y : ys)
        for (double x : xs)
            for (int spin : {0, 1}) {
                const Vec2 target{x, y};
                Shot shot = aimed(spin);
                drawTo(tables, target, shot);
                EXPECT_LT(tableCell(shot), 0.0004);
                EXPECT_LT(distance(restByTable(shot), target), tableCell(shot)) << x << "," << y << " spin " << spin;
                if (shots++ % 7 == 0) {
                    EXPECT_LT(distance(restByIntegration(shot), target), 0.001)
                        << x << "," << y << " spin " << spin;
                }
                if (x == 0.0) {
                    // On the centre line the two spins mirror each other.
                    Shot other = aimed(1 - spin);
                    drawTo(tables, target, other);
                    EXPECT_EQ(other.y, shot.y);
                    EXPECT_EQ(other.x, -shot.x);
                }
            }
    EXPECT_GE(shots, 100);
}

TEST_F(Inversion, PassThroughPassesThePointAndCarriesOn) {
    struct Case {
        Vec2 p;
        double extra;
        int spin;
    };
    for (const Case& c : {Case{{0.3, -1.0}, 1.5, 0}, Case{{-0.8, 0.5}, 0.5, 1}, Case{{1.2, -4.0}, 4.0, 1},
                          Case{{-0.2, -0.6}, 0.05, 0}}) {
        Shot shot = aimed(c.spin);
        passThrough(tables, c.p, c.extra, shot);
        EXPECT_LT(closestApproach(shot, c.p), 0.0001) << c.p.x << "," << c.p.y;
        const double dist = std::hypot(c.p.x, c.p.y + TEE_TO_THROW);
        const Vec2 rest = restByTable(shot);
        EXPECT_NEAR(std::hypot(rest.x, rest.y + TEE_TO_THROW), dist + c.extra, tableCell(shot));
    }
}

TEST_F(Inversion, HitAtPassesThePointAtTheGivenSpeed) {
    struct Case {
        Vec2 p;
        double speed;
        int spin;
    };
    for (const Case& c : {Case{{0.0, 0.0}, 30.0, 0}, Case{{0.5, -0.3}, 33.0, 1}, Case{{-1.1, 1.2}, 33.0, 0},
                          Case{{0.9, -3.0}, 31.0, 0}}) {
        Shot shot = aimed(c.spin);
        hitAt(tables, c.p, c.speed, shot);
        EXPECT_NEAR(std::hypot(shot.x, shot.y), c.speed, 1e-9);
        EXPECT_LT(closestApproach(shot, c.p), 0.0001) << c.p.x << "," << c.p.y;
    }
}

TEST_F(Inversion, HitAtAboveVMaxKeepsSpeedAndAimsAsVMax) {
    for (int spin : {0, 1}) {
        Shot fast = aimed(spin), capped = aimed(spin);
        hitAt(tables, Vec2{0.4, 0.2}, 40.0, fast);
        hitAt(tables, Vec2{0.4, 0.2}, V_MAX, capped);
        EXPECT_NEAR(std::hypot(fast.x, fast.y), 40.0, 1e-12);
        EXPECT_DOUBLE_EQ(std::atan2(fast.x, fast.y), std::atan2(capped.x, capped.y));
    }
}

// A stone that cannot get as far as the point is aimed like a draw: the chord
// is the whole path to rest of its speed.
TEST_F(Inversion, ChordPointOfAStoneStoppingShortIsTheWholePath) {
    for (int flag : {0, 1}) {
        const double s = 10.0;
        const double stop = tables.stopDistance(s);
        const PathEntry e = KelvoTest::tables().pathBySpeed[int(s / W_STEP)];
        const double sign = flag == 1 ? -1.0 : 1.0;
        for (double b : {stop, stop + 3.0, stop - 0.0005}) {
            const Vec2 chord = chordPoint(tables, s, b, flag);
            EXPECT_EQ(chord.x, sign * e.dx);
            EXPECT_EQ(chord.y, e.dy);
        }
        // Just far enough to get past b: a genuine chord of about length b.
        const Vec2 chord = chordPoint(tables, s, stop - 0.01, flag);
        EXPECT_NEAR(std::hypot(chord.x, chord.y), stop - 0.01, 0.0007);
    }
}

TEST_F(Inversion, HitAtTooSlowToArriveAimsLikeADraw) {
    Shot slow = aimed(0);
    hitAt(tables, Vec2{0, 0}, 5.0, slow);  // rests some 1.3 m past the throw point
    EXPECT_NEAR(std::hypot(slow.x, slow.y), 5.0, 1e-12);
    const Vec2 rest = restByTable(slow);
    // It comes to rest on the sight line to the tee, that is the centre line.
    EXPECT_NEAR(rest.x, 0.0, 1e-9);
}

}  // namespace

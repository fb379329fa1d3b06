// The fast fcv1 simulation and the inversion on its tables, against the
// exact simulation: the framework's reference shots replayed fast, what the
// board-frame entry reports and leaves on the board, a hit on two frozen
// stones (the exact simulation's burst) and one beside a frozen line (none),
// the tables' jumps and bounds, and shots aimed by the inversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "kelvosim/fcv1/fcv1exact.h"
#include "kelvosim/fcv1/fcv1fast.h"
#include "kelvosim/fcv1/fcv1inversion.h"
#include "kelvosim/fcv1/fcv1replay.h"

using namespace Kelvo;

namespace {

const Fcv1Tables& tables() {
    static const Fcv1Tables built;
    return built;
}

double distance(const Fcv1Stones& a, const Fcv1Stones& b, int i) {
    return std::hypot(double(a.x[i]) - b.x[i], double(a.y[i]) - b.y[i]);
}

Fcv1ShotInput shotOn(std::initializer_list<std::pair<double, double>> boardStones, int32_t shot, const Fcv1Move& m) {
    Fcv1ShotInput in;
    in.shot = shot;
    in.move = m;
    int k = 0;
    for (const auto& [x, y] : boardStones) {
        const int i = fcv1ThrownIndex(k++, in.hammer);
        in.stones.present[i] = true;
        in.stones.x[i] = float(x);
        in.stones.y[i] = float(fcv1ShotY(y));
    }
    return in;
}

}  // namespace

TEST(Fcv1Fast, FollowsTheFrameworkOnItsReferenceShots) {
    std::ifstream in(KELVO_SOURCE_DIR "/tests/data/fcv1_reference.jsonl");
    ASSERT_TRUE(in);
    std::vector<double> errors;
    int shots = 0, setMismatch = 0, foulMismatch = 0;
    Fcv1FastWorkspace workspace;
    for (std::string line; std::getline(in, line);) {
        Fcv1ReplayLine shot;
        std::string error;
        ASSERT_TRUE(parseFcv1Line(line, shot, error)) << error;
        const Fcv1ShotResult fast = simulateFcv1Fast(tables(), shot.input, nullptr, &workspace);
        ++shots;
        foulMismatch += fast.foul != shot.output.foul;
        for (int i = 0; i < FCV1_STONES; ++i) {
            if (fast.stones.present[i] != shot.output.stones.present[i])
                ++setMismatch;
            else if (fast.stones.present[i])
                errors.push_back(distance(fast.stones, shot.output.stones, i));
        }
    }
    EXPECT_EQ(shots, 300);
    EXPECT_EQ(foulMismatch, 0);
    EXPECT_LE(setMismatch, 3);
    std::sort(errors.begin(), errors.end());
    EXPECT_LT(errors[errors.size() * 95 / 100], 0.01);
}

TEST(Fcv1Fast, BoardEntryReportsWhatChanged) {
    const Fcv1Tables& t = tables();
    Fcv1Board board;
    board.present[0] = true;
    board.x[0] = 0.8;
    board.y[0] = -0.3;
    const Fcv1Board before = board;

    // A draw to the tee adds only the thrown stone, as stone 1.
    Fcv1FastOutcome o = simulateFcv1Fast(t, board, 1, fcv1DrawTo(t, 0.0, 0.0, true));
    EXPECT_EQ(o.change, 1);
    EXPECT_TRUE(board.present[1]);
    EXPECT_NEAR(std::hypot(board.x[1], board.y[1]), 0.0, 0.01);
    EXPECT_EQ(board.x[0], before.x[0]);

    // Through the back line without touching anything: nothing changes.
    Fcv1Board through = before;
    o = simulateFcv1Fast(t, through, 1, fcv1DrawTo(t, -1.0, 4.0, false));
    EXPECT_EQ(o.change, 0);
    EXPECT_FALSE(through.present[1]);

    // A takeout of stone 0 rebuilds the board.
    Fcv1Board hit = before;
    o = simulateFcv1Fast(t, hit, 1, fcv1HitAt(t, 0.8, -0.3, 3.0, true));
    EXPECT_EQ(o.change, 2);
    EXPECT_FALSE(hit.present[0]);

    // The same takeout at shot 3 of a guard of the other side is a foul: the
    // board stays as it was.
    Fcv1Board guarded;
    guarded.present[0] = true;
    guarded.x[0] = 0.3;
    guarded.y[0] = -4.0;
    const Fcv1Board guardBefore = guarded;
    o = simulateFcv1Fast(t, guarded, 3, fcv1HitAt(t, 0.3, -4.0, 3.5, true));
    EXPECT_TRUE(o.foul);
    EXPECT_EQ(o.change, 0);
    EXPECT_TRUE(guarded.present[0]);
    EXPECT_EQ(guarded.y[0], guardBefore.y[0]);
    EXPECT_FALSE(guarded.present[3]);
}

TEST(Fcv1Fast, HitOnFrozenStonesFollowsTheExactSimulation) {
    // The front stone touches the one behind it: the hit moves both at once,
    // which the fast loop leaves to a burst of the exact simulation.
    const Fcv1Tables& t = tables();
    const Fcv1ShotInput in =
        shotOn({{0.0, -0.5}, {0.03, -0.5 + 0.288}}, 4, fcv1HitAt(t, 0.02, -0.5, 2.6, true));
    Fcv1FastOutcome o;
    const Fcv1ShotResult fast = simulateFcv1Fast(t, in, &o);
    const Fcv1ShotResult exact = simulateFcv1Exact(in);
    EXPECT_FALSE(o.handedOver);
    EXPECT_GT(o.exactSteps, 0);
    for (int i = 0; i < FCV1_STONES; ++i) {
        ASSERT_EQ(fast.stones.present[i], exact.stones.present[i]) << i;
        if (exact.stones.present[i])
            EXPECT_LT(distance(fast.stones, exact.stones, i), 0.02) << i;
    }
}

TEST(Fcv1Fast, AFrozenLineNoStoneStrikesNeedsNoExactBurst) {
    // A takeout of a lone stone while three others lie in a frozen line at
    // the side, the middle one touching both: they exchange nothing, so the
    // contact is the fast loop's own.
    const Fcv1Tables& t = tables();
    const Fcv1ShotInput in = shotOn({{0.6, -0.4}, {-1.2, 0.5}, {-1.2 + 0.2899, 0.5}, {-1.2 + 2 * 0.2899, 0.5}}, 4,
                                    fcv1HitAt(t, 0.6, -0.4, 2.8, true));
    Fcv1FastOutcome o;
    const Fcv1ShotResult fast = simulateFcv1Fast(t, in, &o);
    const Fcv1ShotResult exact = simulateFcv1Exact(in);
    EXPECT_EQ(o.exactSteps, 0);
    for (int i = 0; i < FCV1_STONES; ++i) {
        ASSERT_EQ(fast.stones.present[i], exact.stones.present[i]) << i;
        if (exact.stones.present[i])
            EXPECT_LT(distance(fast.stones, exact.stones, i), 0.02) << i;
    }
}

TEST(Fcv1Tables, JumpsAgreeWithSmallStepsAndTheBoundsHold) {
    // Advancing in one jump or in many lands at the same point with the same
    // heading (kept as an angle and as its cosine and sine); the steps a
    // stone stays within a path length never cover more; the turn column
    // reads back.
    const Fcv1Tables& t = tables();
    for (const double speed : {0.4, 1.5, 2.4, 3.6})
        for (const double spin : {1.5707964, -1.5707964, 0.0}) {
            const Fcv1Glide start = t.glide(0.1, -30.0, -0.2 * speed, 0.98 * speed, spin);
            Fcv1Glide one = start, many = start;
            t.toRest(one);
            while (!t.resting(many))
                t.advance(many, 997);
            EXPECT_NEAR(one.x, many.x, 1e-6) << speed << " " << spin;
            EXPECT_NEAR(one.y, many.y, 1e-6) << speed << " " << spin;
            for (const Fcv1Glide& g : {one, many}) {
                EXPECT_NEAR(g.cosHeading, std::cos(g.heading), 1e-9);
                EXPECT_NEAR(g.sinHeading, std::sin(g.heading), 1e-9);
            }
            for (const double length : {0.001, 0.05, 0.7, 6.0}) {
                const int32_t steps = t.stepsWithin(start, length);
                if (start.row + steps < t.lastRow())
                    EXPECT_LE(t.lengthAt(start.row + steps) - t.lengthAt(start.row), length + 1e-12) << length;
            }
        }
    for (const double row : {10.25, 4000.5, 40000.0})
        EXPECT_NEAR(t.rowOfTurn(t.at(row).turn), row, 1e-6);
}

TEST(Fcv1Tables, StepsBeforeNearFindTheFirstStepThatComesNear) {
    // Stepping the stone one step at a time: no step before the count ends
    // within the distance, and the first that does is the step the count
    // names or the next (the count is read off the table's segments, and a
    // step ends partway along one); none does when the count is -1. Points on both sides of the
    // path, on it, past where the spin runs out and behind the stone.
    const Fcv1Tables& t = tables();
    const double within = 0.2891;
    for (const double speed : {0.3, 2.3, 3.4})
        for (const double spin : {1.5707964, -1.5707964, 0.02, 0.0}) {
            const Fcv1Glide start = t.glide(0.1, -30.0, -0.05 * speed, 0.99 * speed, spin);
            Fcv1Glide rest = start;
            t.toRest(rest);
            for (const double f : {0.1, 0.5, 0.9, 0.999})
                for (const double side : {-0.4, -0.28, 0.0, 0.2, 0.35}) {
                    Fcv1Glide mark = start;
                    t.advance(mark, f * (t.lastRow() - start.row));
                    const double px = mark.x - side * mark.sinHeading, py = mark.y + side * mark.cosHeading;
                    Fcv1Glide g = start;
                    t.advance(g, 37.0);  // off the table's whole rows
                    const int64_t steps = t.stepsBeforeNear(g, px, py, within);
                    int64_t first = -1;
                    for (int64_t k = 1; !t.resting(g); ++k) {
                        t.advance(g, 1);
                        if (std::hypot(g.x - px, g.y - py) <= within) {
                            first = k;
                            break;
                        }
                    }
                    if (first < 0)
                        EXPECT_EQ(steps, -1) << speed << " " << spin << " " << f << " " << side;
                    else {
                        EXPECT_LE(steps, first) << speed << " " << spin << " " << f << " " << side;
                        EXPECT_GE(steps, first - 1) << speed << " " << spin << " " << f << " " << side;
                    }
                }
        }
}

TEST(Fcv1Inversion, AimedShotsLandWhereAskedInTheExactSimulation) {
    const Fcv1Tables& t = tables();
    for (bool ccw : {true, false}) {
        // A draw to the tee rests on it.
        Fcv1ShotInput draw;
        draw.move = fcv1DrawTo(t, 0.0, 0.0, ccw);
        EXPECT_NEAR(std::hypot(draw.move.vx, draw.move.vy), 2.40345, 2e-4);
        Fcv1ShotResult r = simulateFcv1Exact(draw);
        EXPECT_LT(std::hypot(r.stones.x[0], fcv1BoardY(r.stones.y[0])), 0.005);

        // A draw to the side of the house, for the other turn.
        draw.move = fcv1DrawTo(t, 1.2, -0.8, ccw);
        r = simulateFcv1Exact(draw);
        EXPECT_LT(std::hypot(r.stones.x[0] - 1.2, fcv1BoardY(r.stones.y[0]) + 0.8), 0.005);

        // Through a point with 2 m to spare, and at a given speed: the
        // path runs through it, and the weight carries the stone on as asked.
        const Fcv1Move pass = fcv1PassThrough(t, -0.5, -1.0, 2.0, ccw);
        const Fcv1Move hit = fcv1HitAt(t, -0.5, -1.0, 5.0, ccw);
        EXPECT_FLOAT_EQ(std::hypot(hit.vx, hit.vy), FCV1_MAX_SPEED);
        for (const Fcv1Move& m : {pass, hit}) {
            Fcv1ShotInput in;
            in.move = m;
            Fcv1Trace trace;
            trace.every = 1;
            simulateFcv1Exact(in, &trace);
            double nearest = 1e9;
            for (const Fcv1TraceFrame& f : trace.frames)
                for (const Fcv1TraceStone& s : f.moving)
                    nearest = std::min(nearest, std::hypot(s.x + 0.5, fcv1BoardY(s.y) + 1.0));
            EXPECT_LT(nearest, 0.005);
        }
        Fcv1ShotInput through;
        through.move = pass;
        r = simulateFcv1Exact(through);
        EXPECT_NEAR(std::hypot(r.stones.x[0], r.stones.y[0]), std::hypot(-0.5, fcv1ShotY(-1.0)) + 2.0, 0.01);
    }
}
